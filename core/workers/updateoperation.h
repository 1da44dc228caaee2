#ifndef UPDATEOPERATION_H
#define UPDATEOPERATION_H

// The three operations of the remote update. Their numbers are the codes that the
// update worker's signals and the update dialog carry as ints: the type of
// information(type, text), the op of finishThrd(op), the operation the device window
// asks the dialog to preselect.
enum class UpdateOperation {
    Firmware = 0,    // firmware download, "升级底层"
    Project = 1,     // project download, "升级组态"
    CloudSync = 2,   // cloud project sync, "同步云组态"
};
constexpr int kUpdateOperations = 3;

#endif // UPDATEOPERATION_H
