#include "owner_only.h"

#include <QDir>

#include <qt_windows.h>

#include <aclapi.h>
#include <vector>

QString othersMayReach(const QString &path, bool folder)
{
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (GetNamedSecurityInfoW(native.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return QStringLiteral("no access list");
    QString why;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    void *ace = nullptr;
    if (!acl)
        why = QStringLiteral("no access list: everyone may");
    else if (acl->AceCount != 1 || !GetAce(acl, 0, &ace)) {
        why = QStringLiteral("%1 entries:").arg(acl->AceCount);
        for (DWORD i = 0; i < acl->AceCount && GetAce(acl, i, &ace); ++i) {
            const auto *header = static_cast<ACE_HEADER *>(ace);
            const bool users = EqualSid(&static_cast<ACCESS_ALLOWED_ACE *>(ace)->SidStart,
                                        reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid);
            why += QStringLiteral(" type %1 flags %2 mask %3 %4;")
                       .arg(header->AceType)
                       .arg(header->AceFlags, 0, 16)
                       .arg(static_cast<ACCESS_ALLOWED_ACE *>(ace)->Mask, 0, 16)
                       .arg(users ? "user" : "other");
        }
    } else if (static_cast<ACE_HEADER *>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE ||
               !EqualSid(&static_cast<ACCESS_ALLOWED_ACE *>(ace)->SidStart,
                         reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid))
        why = QStringLiteral("the one entry is not the user's");
    else if (folder && !(control & SE_DACL_PROTECTED))
        why = QStringLiteral("the folders above still apply");
    LocalFree(descriptor);
    return why;
}

bool accessIsKeptOnDisk()
{
    return !GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
}
