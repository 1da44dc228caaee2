#include <QtTest>

#include "cloudsyncreply.h"

using Outcome = CloudRequest::Outcome;
Q_DECLARE_METATYPE(CloudRequest::Outcome)

class TestCloudSyncReply : public QObject
{
    Q_OBJECT
private slots:
    void checkBody_data();
    void checkBody();
    void judgeCheck_data();
    void judgeCheck();
    void judgeUpload_data();
    void judgeUpload();

private:
    static void addReplyColumns();
    static CloudRequest::Result result();
};

void TestCloudSyncReply::checkBody_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("gatewayId");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("useName");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("useName false")
        << "900150983cd24fb0d6963f7d28e17f72" << "860000000000101" << "demo" << "demo123" << false
        << QByteArray("{\"account\":\"demo\",\"check\":true,\"gatewayId\":\"860000000000101\","
                      "\"password\":\"demo123\",\"usePrjName\":false,"
                      "\"uuid\":\"900150983cd24fb0d6963f7d28e17f72\"}");
    QTest::newRow("useName true, escaped and utf-8")
        << "" << "86" << "用户" << "p\"w" << true
        << QByteArray("{\"account\":\"\xe7\x94\xa8\xe6\x88\xb7\",\"check\":true,\"gatewayId\":\"86\","
                      "\"password\":\"p\\\"w\",\"usePrjName\":true,\"uuid\":\"\"}");
}

void TestCloudSyncReply::checkBody()
{
    QFETCH(QString, uuid);
    QFETCH(QString, gatewayId);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(bool, useName);
    QFETCH(QByteArray, expected);
    QCOMPARE(CloudSyncReply::checkBody(uuid, gatewayId, account, password, useName), expected);
}

void TestCloudSyncReply::addReplyColumns()
{
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("errorText");
}

CloudRequest::Result TestCloudSyncReply::result()
{
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, body);
    QFETCH(QString, errorText);
    CloudRequest::Result r;
    r.outcome = outcome;
    r.body = body;
    r.errorText = errorText;
    return r;
}

void TestCloudSyncReply::judgeCheck_data()
{
    addReplyColumns();
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("upload");
    const Outcome fin = Outcome::Finished;

    QTest::newRow("200 up to date") << fin << QByteArray("{\"code\":200,\"msg\":\"ok\"}") << ""
                                    << "云组态工程已经是最新" << false;
    QTest::newRow("200.0 counts as 200") << fin << QByteArray("{\"code\":200.0}") << ""
                                         << "云组态工程已经是最新" << false;
    QTest::newRow("401 bad account") << fin << QByteArray("{\"code\":401,\"msg\":\"x\"}") << ""
                                     << "账号不存在或密码错误" << false;
    QTest::newRow("500 upload") << fin << QByteArray("{\"code\":500,\"msg\":\"需要上传\"}") << ""
                                << "云组态开始更新" << true;
    QTest::newRow("500 with an http error: the body counts")
        << fin << QByteArray("{\"code\":500}") << "Internal Server Error" << "云组态开始更新" << true;
    QTest::newRow("other code with msg") << fin << QByteArray("{\"code\":403,\"msg\":\"禁止\"}") << ""
                                         << "云组态验证异常:禁止" << false;
    QTest::newRow("code as string is 0") << fin << QByteArray("{\"code\":\"200\",\"msg\":\"m\"}") << ""
                                         << "云组态验证异常:m" << false;
    QTest::newRow("code 0") << fin << QByteArray("{\"code\":0,\"msg\":\"zero\"}") << ""
                            << "云组态验证异常:zero" << false;
    QTest::newRow("missing msg") << fin << QByteArray("{\"code\":400}") << ""
                                 << "云组态验证异常:" << false;
    QTest::newRow("msg not a string") << fin << QByteArray("{\"code\":400,\"msg\":7}") << ""
                                      << "云组态验证异常:" << false;
    QTest::newRow("msg holding %1 stays as is") << fin << QByteArray("{\"code\":400,\"msg\":\"a%1b\"}")
                                                << "" << "云组态验证异常:a%1b" << false;
    QTest::newRow("no code") << fin << QByteArray("{\"msg\":\"m\"}") << ""
                             << "云组态验证异常:云服务应答无效" << false;
    QTest::newRow("not json") << fin << QByteArray("<html>busy</html>") << ""
                              << "云组态验证异常:云服务应答无效" << false;
    QTest::newRow("json array") << fin << QByteArray("[{\"code\":200}]") << ""
                                << "云组态验证异常:云服务应答无效" << false;
    QTest::newRow("empty body, no error") << fin << QByteArray() << ""
                                          << "云组态验证异常:云服务应答无效" << false;
    QTest::newRow("unreachable") << fin << QByteArray() << "Connection refused"
                                 << "云组态验证异常:Connection refused" << false;
    QTest::newRow("http error page") << fin << QByteArray("<h1>502</h1>") << "Bad Gateway"
                                     << "云组态验证异常:Bad Gateway" << false;
    QTest::newRow("timed out") << Outcome::TimedOut << QByteArray() << "等待超时(1秒)"
                               << "云组态验证异常:等待超时(1秒)" << false;
    QTest::newRow("reply too large") << Outcome::TooLarge << QByteArray() << "云服务应答超过8 MiB,已停止接收"
                                     << "云组态验证异常:云服务应答超过8 MiB,已停止接收" << false;
    QTest::newRow("not sent") << Outcome::NotSent << QByteArray() << "无法读取证书文件 ca.pem"
                              << "云组态验证异常:无法读取证书文件 ca.pem" << false;
    QTest::newRow("long msg shortened") << fin << "{\"code\":403,\"msg\":\"" + QByteArray(300, 'm') + "\"}" << ""
                                        << "云组态验证异常:" + QString(200, 'm') + QChar(0x2026) << false;
    QTest::newRow("interrupted: nothing") << Outcome::Interrupted << QByteArray() << "" << "" << false;
    QTest::newRow("interrupted ignores a body") << Outcome::Interrupted << QByteArray("{\"code\":500}")
                                                << "" << "" << false;
}

void TestCloudSyncReply::judgeCheck()
{
    QFETCH(QString, text);
    QFETCH(bool, upload);
    const CloudSyncReply::CheckVerdict verdict = CloudSyncReply::judgeCheck(result());
    QCOMPARE(verdict.text, text);
    QCOMPARE(verdict.upload, upload);
}

void TestCloudSyncReply::judgeUpload_data()
{
    addReplyColumns();
    QTest::addColumn<QString>("text");
    const Outcome fin = Outcome::Finished;

    QTest::newRow("200 bound") << fin << QByteArray("{\"code\":200,\"msg\":\"ok\"}") << ""
                               << "组态工程上传成功且已重新绑定";
    QTest::newRow("200.0 bound") << fin << QByteArray("{\"code\":200.0}") << ""
                                 << "组态工程上传成功且已重新绑定";
    QTest::newRow("500 with msg, full-width colon") << fin << QByteArray("{\"code\":500,\"msg\":\"存储失败\"}")
                                                    << "Internal Server Error" << "云组态上传异常：存储失败";
    QTest::newRow("422 identity differs") << fin << QByteArray("{\"code\":422,\"msg\":\"uuid\"}") << ""
                                          << "云组态上传异常：uuid";
    QTest::newRow("code as string") << fin << QByteArray("{\"code\":\"200\",\"msg\":\"s\"}") << ""
                                    << "云组态上传异常：s";
    QTest::newRow("missing msg") << fin << QByteArray("{\"code\":401}") << "" << "云组态上传异常：";
    QTest::newRow("no code") << fin << QByteArray("{}") << "" << "云组态上传异常：云服务应答无效";
    QTest::newRow("not json") << fin << QByteArray("OK") << "" << "云组态上传异常：云服务应答无效";
    QTest::newRow("network error") << fin << QByteArray() << "Remote host closed"
                                   << "云组态上传异常：Remote host closed";
    QTest::newRow("timed out") << Outcome::TimedOut << QByteArray() << "等待超时(1秒)"
                               << "云组态上传异常：等待超时(1秒)";
    QTest::newRow("long msg shortened") << fin << "{\"code\":500,\"msg\":\"" + QByteArray(201, 'm') + "\"}" << ""
                                        << "云组态上传异常：" + QString(200, 'm') + QChar(0x2026);
    QTest::newRow("interrupted: nothing") << Outcome::Interrupted << QByteArray() << "" << "";
}

void TestCloudSyncReply::judgeUpload()
{
    QFETCH(QString, text);
    QCOMPARE(CloudSyncReply::judgeUpload(result()), text);
}

QTEST_APPLESS_MAIN(TestCloudSyncReply)
#include "tst_cloudsyncreply.moc"
