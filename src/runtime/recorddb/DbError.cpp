#include "runtime/recorddb/DbError.h"

#include <cerrno>

#include "runtime/CodePage.h"

namespace ovx {

namespace {

thread_local int tLastError = 0;

const char* MessageUtf8(int code) {
    switch (code) {
        case kDbFileNotFound:
            return "指定文件未找到";
        case kDbBadPath:
            return "无效的路径";
        case kDbTooManyFiles:
            return "打开文件过多";
        case kDbAccessDenied:
            return "指定文件不能被访问";
        case kDbBadHandle:
            return "无效的文件号";
        case kDbSeekFailed:
            return "文件指针定位失败";
        case kDbHardware:
            return "访问文件时硬件产生故障";
        case kDbSharing:
            return "访问文件时产生共享冲突";
        case kDbLockFile:
            return "加锁文件失败";
        case kDbDiskFull:
            return "磁盘空间不够";
        case kDbEndOfFile:
            return "已经到达文件尾";
        case kDbNoFields:
            return "字段数目必须大于 0 ";
        case kDbBadFieldType:
            return "无效的字段类型";
        case kDbBadFieldName:
            return "无效的字段名称。名称首字符必须为全半角字母或汉字，其他字符必须为全半角字母、"
                   "全半角数字或汉字。名称长度必须小于 16 字符";
        case kDbBadFieldSize:
            return "无效的字段尺寸";
        case kDbDuplicateField:
            return "存在重复的字段名称";
        case kDbNotDatabase:
            return "指定文件不是数据库文件";
        case kDbVersionTooNew:
            return "指定数据库文件版本太高，无法读入，请升级系统软件";
        case kDbBadAlias:
            return "无效的别名。别名首字符必须为全半角字母或汉字，其他字符必须为全半角字母、"
                   "全半角数字或汉字";
        case kDbLockFailed:
            return "加锁失败";
        case kDbUnlockFailed:
            return "解锁失败";
        case kDbIndexOpen:
            return "打开指定索引文件失败";
        case kDbNotIndex:
            return "指定文件不是数据库索引文件或已被损坏";
        case kDbIndexVersion:
            return "索引文件的版本与数据库本身不一致";
        case kDbIndexAlreadyOpen:
            return "索引文件已经被打开";
        case kDbTooManyIndexes:
            return "为同一数据库打开索引文件过多";
        case kDbAlreadyOpen:
            return "指定数据库已经被打开";
        case kDbTooManyKeyFields:
            return "索引所使用的字段太多";
        case kDbFieldNotFound:
            return "未找到指定字段";
        case kDbIndexCreate:
            return "创建数据库索引文件失败";
        case kDbKeyFieldBlob:
            return "索引所使用的字段不能为备注或者字节集类型";
        case kDbKeyFieldMissing:
            return "不能找到索引所使用的字段";
        case kDbFieldRead:
            return "读指定字段失败";
        case kDbDataSize:
            return "数据库文件尺寸错误";
        case kDbIndexSize:
            return "数据库索引文件尺寸错误";
        case kDbAuxCreate:
            return "创建数据库辅助文件失败";
        case kDbKeySizeDiffers:
            return "索引所使用字段的尺寸与数据库内的字段不一致";
        case kDbKeyTypeDiffers:
            return "索引所使用字段的类型与数据库内的字段不一致";
        case kDbKeyTooLong:
            return "索引字段的尺寸过大";
        case kDbNoCurrentRecord:
            return "现行记录不存在";
        case kDbRecordRead:
            return "读记录失败";
        case kDbIndexUpdate:
            return "更改索引失败";
        case kDbCountUnreadable:
            return "取数据库记录数失败";
        case kDbNoCurrentDatabase:
            return "未设置当前数据库";
        case kDbNoCurrentIndex:
            return "未设置当前索引";
        case kDbValueType:
            return "所提供数据的类型与字段类型不匹配";
        case kDbKeyCount:
            return "所提供欲查找数据的数目与当前索引的索引字段数不相等";
        case kDbSymbolicLink:
            return "指定文件是符号链接，不予打开";
        default:
            return "未知错误";
    }
}

}  // namespace

int LastDbError() {
    return tLastError;
}
void SetLastDbError(int code) {
    tLastError = code;
}

Text DbErrorMessage(int code) {
    return Utf8ToLocal(MessageUtf8(code));
}

int DbErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return kDbFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            return kDbBadPath;
        case EMFILE:
        case ENFILE:
            return kDbTooManyFiles;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return kDbAccessDenied;
        case EBADF:
            return kDbBadHandle;
        case ESPIPE:
        case EOVERFLOW:
            return kDbSeekFailed;
        case EIO:
            return kDbHardware;
        case ETXTBSY:
            return kDbSharing;
        case EAGAIN:
            return kDbLockFile;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kDbDiskFull;
        default:
            return kDbUnknown;
    }
}

}  // namespace ovx
