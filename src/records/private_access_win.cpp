#include "records/private_access.h"

#include <QDir>

#include <qt_windows.h>

#include <aclapi.h>
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
    // The folder's access list, inherited, keeps the file to its owner.
    file.setFileName(path);
    if (file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    *error = file.errorString();
    return false;
}
