#pragma once
// Error codes of the record database and the calling thread's last error.

#include "runtime/Text.h"

namespace ovx {

enum DbErrorCode : int {
    kDbOk = 0,
    kDbUnknown = -1,
    kDbFileNotFound = -3,
    kDbBadPath = -4,
    kDbTooManyFiles = -5,
    kDbAccessDenied = -6,
    kDbBadHandle = -7,
    kDbSeekFailed = -10,
    kDbHardware = -11,
    kDbSharing = -12,
    kDbLockFile = -13,
    kDbDiskFull = -14,
    kDbEndOfFile = -15,
    kDbNoFields = -16,
    kDbBadFieldType = -17,
    kDbBadFieldName = -18,
    kDbBadFieldSize = -19,
    kDbDuplicateField = -20,
    kDbNotDatabase = -22,
    kDbVersionTooNew = -23,
    kDbBadAlias = -24,
    kDbLockFailed = -28,
    kDbUnlockFailed = -29,
    kDbIndexOpen = -30,
    kDbNotIndex = -31,
    kDbIndexVersion = -32,
    kDbIndexAlreadyOpen = -33,
    kDbTooManyIndexes = -34,
    kDbAlreadyOpen = -38,
    kDbTooManyKeyFields = -39,
    kDbFieldNotFound = -40,
    kDbIndexCreate = -41,
    kDbKeyFieldBlob = -42,
    kDbKeyFieldMissing = -43,
    kDbFieldRead = -46,
    kDbDataSize = -48,
    kDbIndexSize = -49,
    kDbAuxCreate = -50,
    kDbKeySizeDiffers = -53,
    kDbKeyTypeDiffers = -54,
    kDbKeyTooLong = -56,
    kDbNoCurrentRecord = -60,
    kDbRecordRead = -62,
    kDbIndexUpdate = -64,
    kDbCountUnreadable = -65,
    kDbNoCurrentDatabase = -67,
    kDbNoCurrentIndex = -69,
    kDbValueType = -72,
    kDbKeyCount = -73,
    // The name is a symbolic link: record files are never opened through one.
    kDbSymbolicLink = -80,
};

// The last record-database error of the calling thread (0 after a success).
int LastDbError();
void SetLastDbError(int code);
// The message kept for a code; "未知错误" for codes without one.
Text DbErrorMessage(int code);
// Maps an errno value of a file operation to a code (-3 to -15, else -1).
int DbErrorFromErrno(int err);

}  // namespace ovx
