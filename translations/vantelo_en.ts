<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CloudClient</name>
    <message>
        <source>文件打开异常</source>
        <translation>Cannot open the file</translation>
    </message>
</context>
<context>
    <name>CloudEndpoint</name>
    <message>
        <source>无法读取证书文件 %1</source>
        <translation>Cannot read the certificate file %1</translation>
    </message>
</context>
<context>
    <name>CloudRequest</name>
    <message>
        <source>无法连接云服务</source>
        <translation>Cannot reach the cloud service</translation>
    </message>
    <message>
        <source>无法连接云服务: %1</source>
        <translation>Cannot reach the cloud service: %1</translation>
    </message>
    <message>
        <source>云服务应答超过%1 MiB,已停止接收</source>
        <translation>The cloud service reply exceeds %1 MiB; receiving stopped</translation>
    </message>
    <message>
        <source>等待超时(%1秒)</source>
        <translation>Timed out (%1 s)</translation>
    </message>
</context>
<context>
    <name>CloudSync</name>
    <message>
        <source>文件打开异常</source>
        <translation>Cannot open the file</translation>
    </message>
    <message>
        <source>压缩文件无法解压,已停止</source>
        <translation>The archive cannot be unpacked; stopped</translation>
    </message>
    <message>
        <source>云组态验证</source>
        <translation>Checking the cloud project</translation>
    </message>
    <message>
        <source>压缩文件缺失</source>
        <translation>The archive is missing</translation>
    </message>
</context>
<context>
    <name>CloudSyncReply</name>
    <message>
        <source>云服务应答无效</source>
        <translation>Invalid reply from the cloud service</translation>
    </message>
    <message>
        <source>云组态验证异常:%1</source>
        <translation>Cloud project check failed: %1</translation>
    </message>
    <message>
        <source>云组态工程已经是最新</source>
        <translation>The cloud project is already up to date</translation>
    </message>
    <message>
        <source>账号不存在或密码错误</source>
        <translation>Unknown account or wrong password</translation>
    </message>
    <message>
        <source>云组态开始更新</source>
        <translation>Cloud project update started</translation>
    </message>
    <message>
        <source>云组态上传异常：%1</source>
        <translation>Cloud project upload failed: %1</translation>
    </message>
    <message>
        <source>组态工程上传成功且已重新绑定</source>
        <translation>Project uploaded and bound again</translation>
    </message>
</context>
<context>
    <name>FirmwareDownload</name>
    <message>
        <source>帧大小必须大于8字节</source>
        <translation>The frame size must be more than 8 bytes</translation>
    </message>
    <message>
        <source>连接TCP服务器</source>
        <translation>Connecting to the TCP server</translation>
    </message>
    <message>
        <source>底层与型号不匹配</source>
        <translation>The firmware does not match the model</translation>
    </message>
    <message>
        <source>写入底层信息</source>
        <translation>Writing the firmware information</translation>
    </message>
    <message>
        <source>底层已写入:%1/%2</source>
        <translation>Firmware written: %1/%2</translation>
    </message>
    <message>
        <source>开始写入底层</source>
        <translation>Writing the firmware</translation>
    </message>
    <message>
        <source>写入底层成功</source>
        <translation>Firmware written successfully</translation>
    </message>
</context>
<context>
    <name>ManagerDevList</name>
    <message>
        <source>设备管理</source>
        <translation>Device management</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>在线</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>搜索全部</source>
        <translation>Search all</translation>
    </message>
    <message>
        <source>搜索在线</source>
        <translation>Search online</translation>
    </message>
    <message>
        <source>搜索离线</source>
        <translation>Search offline</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>切换账号</source>
        <translation>Switch account</translation>
    </message>
    <message>
        <source>设备IMEI: </source>
        <translation>Device IMEI: </translation>
    </message>
    <message>
        <source>设备状态: </source>
        <translation>Device state: </translation>
    </message>
    <message>
        <source>升级底层</source>
        <translation>Update firmware</translation>
    </message>
    <message>
        <source>升级组态</source>
        <translation>Update project</translation>
    </message>
    <message>
        <source>同步云组态</source>
        <translation>Sync cloud project</translation>
    </message>
    <message>
        <source>开启穿透</source>
        <translation>Start pass-through</translation>
    </message>
    <message>
        <source>设备管理 %1</source>
        <translation>Device management %1</translation>
    </message>
    <message>
        <source>设备管理 %1    用户: %2</source>
        <translation>Device management %1    User: %2</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>账号不存在或验证错误</source>
        <translation>Unknown account or sign-in failed</translation>
    </message>
    <message>
        <source>离线</source>
        <translation>Offline</translation>
    </message>
</context>
<context>
    <name>PenetrationOBJ</name>
    <message>
        <source>加载vspdctl.dll失败</source>
        <translation>Cannot load vspdctl.dll</translation>
    </message>
    <message>
        <source>连接服务器超时</source>
        <translation>Timed out connecting to the server</translation>
    </message>
    <message>
        <source>连接穿透服务超时</source>
        <translation>Timed out connecting to the pass-through service</translation>
    </message>
    <message>
        <source>穿透服务打开成功</source>
        <translation>Pass-through started</translation>
    </message>
    <message>
        <source>穿透服务打开失败</source>
        <translation>Pass-through could not be started</translation>
    </message>
    <message>
        <source>穿透服务连接已断开</source>
        <translation>Pass-through connection lost</translation>
    </message>
    <message>
        <source>HMI端断开连接</source>
        <translation>The HMI closed the connection</translation>
    </message>
    <message>
        <source>串口%1异常断开，已关闭</source>
        <translation>Serial port %1 failed and was closed</translation>
    </message>
    <message>
        <source>无法写入跟踪文件 %1: %2</source>
        <translation>Cannot write the trace file %1: %2</translation>
    </message>
</context>
<context>
    <name>Penetration_setDlg</name>
    <message>
        <source>穿透设置</source>
        <translation>Pass-through settings</translation>
    </message>
    <message>
        <source>端口设置（ PLC程序通信参数）</source>
        <translation>Port settings (PLC communication)</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>数据位：</source>
        <translation>Data bits:</translation>
    </message>
    <message>
        <source>检验位：</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>停止位：</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>PLC程序端口：</source>
        <translation>PLC port:</translation>
    </message>
    <message>
        <source>删除当前虚拟串口</source>
        <translation>Remove virtual port</translation>
    </message>
    <message>
        <source>开启穿透</source>
        <translation>Start pass-through</translation>
    </message>
    <message>
        <source>关闭穿透</source>
        <translation>Stop pass-through</translation>
    </message>
    <message>
        <source>信息提示</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>IMEI:%1</source>
        <translation>IMEI: %1</translation>
    </message>
    <message>
        <source>穿透服务断开</source>
        <translation>Pass-through stopped</translation>
    </message>
    <message>
        <source>复制路径</source>
        <translation>Copy path</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start trace</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop trace</translation>
    </message>
    <message>
        <source>记录到 %1</source>
        <translation>Tracing to %1</translation>
    </message>
    <message>
        <source>保存穿透记录</source>
        <translation>Save the pass-through trace</translation>
    </message>
    <message>
        <source>文本文件 (*.txt);;所有文件 (*)</source>
        <translation>Text files (*.txt);;All files (*)</translation>
    </message>
    <message>
        <source>已记录到 %1</source>
        <translation>Trace saved to %1</translation>
    </message>
    <message>
        <source>发送 %1 字节 (%2)
接收 %3 字节 (%4)</source>
        <translation>Sent %1 bytes (%2)
Received %3 bytes (%4)</translation>
    </message>
</context>
<context>
    <name>ProjectDownload</name>
    <message>
        <source>帧大小必须大于8字节</source>
        <translation>The frame size must be more than 8 bytes</translation>
    </message>
    <message>
        <source>组态文件没有型号以及版本参数</source>
        <translation>The project file has no model and version</translation>
    </message>
    <message>
        <source>组态型号和触摸屏型号不一致</source>
        <translation>The project model differs from the panel model</translation>
    </message>
    <message>
        <source>该型号不支持4G通信</source>
        <translation>This model does not support 4G</translation>
    </message>
    <message>
        <source>该型号不支持WIFI通信</source>
        <translation>This model does not support Wi-Fi</translation>
    </message>
    <message>
        <source>该型号不兼容当前4G模块</source>
        <translation>This model is not compatible with the 4G module</translation>
    </message>
    <message>
        <source>该型号不兼容当前WIFI模块</source>
        <translation>This model is not compatible with the Wi-Fi module</translation>
    </message>
    <message>
        <source>发送查询版本命令失败</source>
        <translation>Cannot send the version query</translation>
    </message>
    <message>
        <source>查询型号命令失败</source>
        <translation>Model query failed</translation>
    </message>
    <message>
        <source>组态与版本不一致</source>
        <translation>The project does not match the version</translation>
    </message>
    <message>
        <source>下载PLC驱动</source>
        <translation>Downloading the PLC driver</translation>
    </message>
    <message>
        <source>组态升级完成</source>
        <translation>Project update finished</translation>
    </message>
    <message>
        <source>发送下载完成命令超时</source>
        <translation>Timed out sending the download-finished command</translation>
    </message>
    <message>
        <source>写入%1</source>
        <translation>Writing %1</translation>
    </message>
    <message>
        <source>%1文件为空</source>
        <translation>%1: the file is empty</translation>
    </message>
    <message>
        <source>%1已写入:%2/%3</source>
        <translation>%1 written: %2/%3</translation>
    </message>
</context>
<context>
    <name>ProjectFiles</name>
    <message>
        <source>系统参数</source>
        <translation>system parameters</translation>
    </message>
    <message>
        <source>控件参数</source>
        <translation>control parameters</translation>
    </message>
    <message>
        <source>启动画面</source>
        <translation>startup screen</translation>
    </message>
    <message>
        <source>画面参数</source>
        <translation>screen parameters</translation>
    </message>
    <message>
        <source>宏指令变量表</source>
        <translation>macro variable table</translation>
    </message>
    <message>
        <source>宏指令</source>
        <translation>macros</translation>
    </message>
    <message>
        <source>报警参数</source>
        <translation>alarm parameters</translation>
    </message>
    <message>
        <source>报警多语言参数</source>
        <translation>alarm language parameters</translation>
    </message>
    <message>
        <source>消息显示器参数</source>
        <translation>message display parameters</translation>
    </message>
    <message>
        <source>历史数据采集器参数</source>
        <translation>history collector parameters</translation>
    </message>
    <message>
        <source>配方参数</source>
        <translation>recipe parameters</translation>
    </message>
    <message>
        <source>地址数据</source>
        <translation>address data</translation>
    </message>
    <message>
        <source>控件索引参数</source>
        <translation>control index parameters</translation>
    </message>
    <message>
        <source>曲线数据</source>
        <translation>curve data</translation>
    </message>
    <message>
        <source>控件图像数据</source>
        <translation>control images</translation>
    </message>
    <message>
        <source>画面图像数据</source>
        <translation>screen images</translation>
    </message>
    <message>
        <source>COM1驱动</source>
        <translation>COM1 driver</translation>
    </message>
    <message>
        <source>COM2驱动</source>
        <translation>COM2 driver</translation>
    </message>
    <message>
        <source>汉字库</source>
        <translation>Chinese font library</translation>
    </message>
</context>
<context>
    <name>RelayDownload</name>
    <message>
        <source>连接TCP服务器超时</source>
        <translation>Timed out connecting to the TCP server</translation>
    </message>
    <message>
        <source>开启TCP服务失败</source>
        <translation>Cannot open the TCP service</translation>
    </message>
    <message>
        <source>开启TCP服务成功</source>
        <translation>TCP service opened</translation>
    </message>
    <message>
        <source>发送查询型号命令失败</source>
        <translation>Cannot send the model query</translation>
    </message>
    <message>
        <source>查询型号命令失败</source>
        <translation>Model query failed</translation>
    </message>
</context>
<context>
    <name>ServerSettingsDlg</name>
    <message>
        <source>服务器设置</source>
        <translation>Server settings</translation>
    </message>
    <message>
        <source>例如 https://主机名:端口</source>
        <translation>e.g. https://host:port</translation>
    </message>
    <message>
        <source>可选,PEM 格式</source>
        <translation>Optional, PEM format</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>不验证服务器证书(不安全)</source>
        <translation>Do not verify the server certificate (insecure)</translation>
    </message>
    <message>
        <source>服务器地址</source>
        <translation>Server address</translation>
    </message>
    <message>
        <source>私有证书颁发机构</source>
        <translation>Private certificate authority</translation>
    </message>
    <message>
        <source>选择证书颁发机构文件</source>
        <translation>Choose the certificate authority file</translation>
    </message>
    <message>
        <source>证书 (*.pem *.crt *.cer);;所有文件 (*)</source>
        <translation>Certificates (*.pem *.crt *.cer);;All files (*)</translation>
    </message>
    <message>
        <source>服务器地址须以 http:// 或 https:// 开头,并含主机名</source>
        <translation>The server address must start with http:// or https:// and name a host</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>Cannot write %1</translation>
    </message>
</context>
<context>
    <name>TransferMeter</name>
    <message>
        <source>%1  剩余 %2</source>
        <translation>%1  %2 left</translation>
    </message>
    <message>
        <source>%1 B/s</source>
        <translation>%1 B/s</translation>
    </message>
    <message>
        <source>%1 KiB/s</source>
        <translation>%1 KiB/s</translation>
    </message>
    <message>
        <source>%1 MiB/s</source>
        <translation>%1 MiB/s</translation>
    </message>
    <message>
        <source>%1:%2:%3</source>
        <translation>%1:%2:%3</translation>
    </message>
    <message>
        <source>%1:%2</source>
        <translation>%1:%2</translation>
    </message>
</context>
<context>
    <name>TransferTexts</name>
    <message>
        <source>发送%1命令超时</source>
        <translation>Timed out sending the %1 command</translation>
    </message>
    <message>
        <source>写入底层信息错误</source>
        <translation>Writing the firmware information failed</translation>
    </message>
    <message>
        <source>发送%1命令失败</source>
        <translation>The %1 command was refused</translation>
    </message>
    <message>
        <source>%1写入校验错误</source>
        <translation>%1: checksum errors while writing</translation>
    </message>
    <message>
        <source>写入底层校验错误</source>
        <translation>Firmware: checksum errors while writing</translation>
    </message>
    <message>
        <source>%1写入超时</source>
        <translation>%1: timed out while writing</translation>
    </message>
    <message>
        <source>写入底层超时</source>
        <translation>Firmware: timed out while writing</translation>
    </message>
    <message>
        <source>%1写入失败:连接已断开</source>
        <translation>%1: writing failed, connection lost</translation>
    </message>
    <message>
        <source>写入底层失败:连接已断开</source>
        <translation>Firmware: writing failed, connection lost</translation>
    </message>
    <message>
        <source>打开%1文件失败</source>
        <translation>Cannot open the %1 file</translation>
    </message>
    <message>
        <source>底层文件不存在或打开失败</source>
        <translation>The firmware file is missing or cannot be opened</translation>
    </message>
    <message>
        <source>%1写入结束命令错误</source>
        <translation>%1: the end-of-write command failed</translation>
    </message>
    <message>
        <source>写入底层结束命令超时</source>
        <translation>Firmware: timed out on the end-of-write command</translation>
    </message>
</context>
<context>
    <name>UpdateFileDlg</name>
    <message>
        <source>远程升级</source>
        <translation>Remote update</translation>
    </message>
    <message>
        <source>升级底层(bin)</source>
        <translation>Firmware
(bin)</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>升级组态
(compile.zip)</source>
        <translation>Project
(compile.zip)</translation>
    </message>
    <message>
        <source>同步云组态
(target.zip)</source>
        <translation>Cloud project
(target.zip)</translation>
    </message>
    <message>
        <source>字节/帧(升级底层和升级组态有效)</source>
        <translation>Bytes per frame (firmware/project)</translation>
    </message>
    <message>
        <source>更新字库</source>
        <translation>Update fonts</translation>
    </message>
    <message>
        <source>设备名称使用工程名</source>
        <translation>Name the device after the project</translation>
    </message>
    <message>
        <source>同步云组态：文件名为target.zip,路径在上位程序安装目录cloudcompile文件夹

升级组态：文件名为compile.zip,路径在上位程序安装根目录cloudcompile文件夹</source>
        <translation>Sync cloud project: target.zip, in the cloudcompile folder of the programming software&apos;s installation folder

Update project: compile.zip, in the cloudcompile folder of the programming software&apos;s installation root folder</translation>
    </message>
    <message>
        <source>执行</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>升级文件</source>
        <translation>Update files</translation>
    </message>
    <message>
        <source>IMEI:%1</source>
        <translation>IMEI: %1</translation>
    </message>
    <message>
        <source>选择底层文件</source>
        <translation>Choose the firmware file</translation>
    </message>
    <message>
        <source>bin (*.bin)</source>
        <translation>bin (*.bin)</translation>
    </message>
    <message>
        <source>选择云组态文件</source>
        <translation>Choose the cloud project file</translation>
    </message>
    <message>
        <source>zip (target.zip)</source>
        <translation>zip (target.zip)</translation>
    </message>
    <message>
        <source>选择组态文件</source>
        <translation>Choose the project file</translation>
    </message>
    <message>
        <source>zip (compile.zip)</source>
        <translation>zip (compile.zip)</translation>
    </message>
    <message>
        <source>路径不能空</source>
        <translation>The path must not be empty</translation>
    </message>
    <message>
        <source>远程升级组态</source>
        <translation>Remote project update</translation>
    </message>
    <message>
        <source>升级云组态</source>
        <translation>Update cloud project</translation>
    </message>
    <message>
        <source>远程升级底层</source>
        <translation>Remote firmware update</translation>
    </message>
    <message>
        <source>请选择要执行的操作</source>
        <translation>Choose the operation to run</translation>
    </message>
    <message>
        <source>组态正在升级中.</source>
        <translation>The project is being updated.</translation>
    </message>
    <message>
        <source>组态开始升级.</source>
        <translation>Project update started.</translation>
    </message>
    <message>
        <source>云组态正在更新中.</source>
        <translation>The cloud project is being updated.</translation>
    </message>
    <message>
        <source>底层正在升级中.</source>
        <translation>The firmware is being updated.</translation>
    </message>
    <message>
        <source>正在读取设备信息…</source>
        <translation>Reading the device details…</translation>
    </message>
    <message>
        <source>适用于此设备的底层 (%1)</source>
        <translation>Firmware for this device (%1)</translation>
    </message>
    <message>
        <source>设备未应答,型号未知</source>
        <translation>The device did not answer; model unknown</translation>
    </message>
    <message>
        <source>未知(%1)</source>
        <translation>unknown (%1)</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>无</source>
        <translation>none</translation>
    </message>
    <message>
        <source>型号 %1  通信 %2  模块 %3  组态版本 %4
适用底层: %5</source>
        <translation>Model %1  Link %2  Module %3  Project version %4
Firmware: %5</translation>
    </message>
    <message>
        <source>%1: %2 (%3 字节)</source>
        <translation>%1: %2 (%3 bytes)</translation>
    </message>
    <message>
        <source>底层</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>组态</source>
        <translation>Project</translation>
    </message>
    <message>
        <source>向设备 %1 下载:
%2

下载期间请勿断电或关闭本窗口。确定开始吗?</source>
        <translation>Download to device %1:
%2

Do not switch the device off or close this window during the download. Start now?</translation>
    </message>
    <message>
        <source>确认下载</source>
        <translation>Confirm download</translation>
    </message>
    <message>
        <source>应为 %1</source>
        <translation>expected %1</translation>
    </message>
    <message>
        <source>文件 %1/%2  %p%</source>
        <translation>File %1/%2  %p%</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>下载尚未结束。现在关闭将中断下载,设备可能处于升级了一半的状态。确定关闭吗?</source>
        <translation>The download has not finished. Closing now interrupts it and may leave the device half-updated. Close anyway?</translation>
    </message>
</context>
<context>
    <name>UpdateStep</name>
    <message>
        <source>压缩文件包含不安全的路径,已拒绝</source>
        <translation>The archive holds an unsafe path; refused</translation>
    </message>
    <message>
        <source>压缩文件超出解压限制,已拒绝</source>
        <translation>The archive exceeds the unpacking limits; refused</translation>
    </message>
</context>
<context>
    <name>Vantelo</name>
    <message>
        <source>账号</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>用户注册</source>
        <translation>Register</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>找回密码</source>
        <translation>Forgot password</translation>
    </message>
    <message>
        <source>记住密码</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <source>下次自动登录</source>
        <translation>Sign in automatically</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>Sign in</translation>
    </message>
    <message>
        <source>未验证服务器证书</source>
        <translation>Server certificate not verified</translation>
    </message>
    <message>
        <source>系统密钥环不可用,密码未保存</source>
        <translation>System keychain unavailable; password not saved</translation>
    </message>
    <message>
        <source>账号不能为空</source>
        <translation>The account must not be empty</translation>
    </message>
    <message>
        <source>密码不能为空</source>
        <translation>The password must not be empty</translation>
    </message>
    <message>
        <source>账号不存在或验证错误</source>
        <translation>Unknown account or sign-in failed</translation>
    </message>
    <message>
        <source>服务器设置</source>
        <translation>Server settings</translation>
    </message>
    <message>
        <source>无法连接云服务: 未设置服务器地址</source>
        <translation>Cannot reach the cloud service: no server address set</translation>
    </message>
    <message>
        <source>正在登录…</source>
        <translation>Signing in…</translation>
    </message>
</context>
<context>
    <name>VirtualPortPairs</name>
    <message>
        <source>注册表打开失败<byte value="xd"/>
请检查注册表路径是否正确!</source>
        <translation>Cannot open the registry<byte value="xd"/>
Please check the registry path.</translation>
    </message>
    <message>
        <source>%1串口不存在</source>
        <translation>Serial port %1 does not exist</translation>
    </message>
    <message>
        <source>%1不是该软件创建的串口</source>
        <translation>%1 is not a serial port made by this program</translation>
    </message>
    <message>
        <source>%1已存在</source>
        <translation>%1 already exists</translation>
    </message>
    <message>
        <source>创建串口%1失败</source>
        <translation>Cannot create serial port %1</translation>
    </message>
    <message>
        <source>串口%1不存在</source>
        <translation>Serial port %1 does not exist</translation>
    </message>
    <message>
        <source>串口%1打开失败:%2</source>
        <translation>Cannot open serial port %1: %2</translation>
    </message>
    <message>
        <source>%1打开成功</source>
        <translation>%1 opened</translation>
    </message>
    <message>
        <source>加载vspdctl.dll失败</source>
        <translation>Cannot load vspdctl.dll</translation>
    </message>
    <message>
        <source>%1端口被占用，请先关闭串口或者该串口不是该软件所创建</source>
        <translation>Port %1 is in use: close it first, or it was not made by this program</translation>
    </message>
</context>
</TS>
