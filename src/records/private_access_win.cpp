#include "records/private_access.h"

#include <QDir>

#include <qt_windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <vector>

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct LocalFreer {
    void operator()(void *memory) const { LocalFree(memory); }
};

} // namespace

bool keepToOwner(const QString &path, bool folder)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    const std::unique_ptr<void, HandleCloser> tokenHolder(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size))
        return false;

    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = folder ? SUB_CONTAINERS_AND_OBJECTS_INHERIT : NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid);
    PACL acl = nullptr;
    if (SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS)
        return false;
    const std::unique_ptr<void, LocalFreer> aclHolder(acl);
    std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    // Protected: the entries of the folders above (Users, Everyone on a shared drive) no longer apply.
    return SetNamedSecurityInfoW(native.data(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                                 nullptr) == ERROR_SUCCESS;
}

std::optional<QString> unfitPrivateFolder(const QString &)
{
    return std::nullopt;
}

bool openPrivateForAppend(QFile &file, const QString &path, QString *error)
{
    // The folder's access list, inherited, keeps the file to its owner. Append data, not write data: the system
    // then puts every write at the end of the file as it is at that moment, also when another process adds to it
    // (an append-mode QFile only seeks to the end once, when it opens).
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    HANDLE handle = CreateFileW(native.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = qt_error_string(int(GetLastError()));
        return false;
    }
    const int fd = _open_osfhandle(intptr_t(handle), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        *error = qt_error_string(int(GetLastError()));
        CloseHandle(handle);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        *error = file.errorString();
        _close(fd);
        return false;
    }
    return true;
}

namespace {

// A byte no file of the journal reaches: locking it never keeps a reader from the data.
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

} // namespace

AppendLock::AppendLock(QFile &file)
    : m_file(file)
{
    const auto handle = HANDLE(_get_osfhandle(file.handle()));
    if (handle == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    m_locked = LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
}

AppendLock::~AppendLock()
{
    if (!m_locked)
        return;
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(HANDLE(_get_osfhandle(m_file.handle())), 0, 1, 0, &at);
}
