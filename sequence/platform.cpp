/* The Windows the program runs on, the administrator check and the closing
   restart. */
#include "uninstall.h"
#include "resource.h"

/* The rights that the administrator check's own descriptor grants: read
   and write, and their generic mapping. */
#define CHECK_READ 1
#define CHECK_WRITE 2

typedef BOOL(WINAPI *IsWow64ProcessFunction)(HANDLE process, PBOOL wow64);

/* True when this 32-bit program runs on 64-bit Windows, where it would see
   the 32-bit system folder in place of the real one. The query is looked up
   at run time (Windows 98 and 2000 lack it); a query that fails counts as
   64-bit Windows, so that the program never works on folders it cannot trust. */
static int IsRunningUnderWow64(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    IsWow64ProcessFunction query;
    BOOL wow64 = FALSE;

    if (kernel == NULL)
        return 0;
    query = (IsWow64ProcessFunction)(void *)GetProcAddress(kernel, "IsWow64Process");
    if (query == NULL)
        return 0;
    return !query(GetCurrentProcess(), &wow64) || wow64;
}

int DetectWindowsFamily(void)
{
    OSVERSIONINFOA version;

    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version) || IsRunningUnderWow64())
        return 0;
    if (version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1))
        IsWinXP = 1;
    else if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0)
        IsWin2000 = 1;
    else if (version.dwMajorVersion == 4 && version.dwMinorVersion == 10)
        IsWin98 = 1;
    else if (version.dwMajorVersion == 4 && version.dwMinorVersion == 90)
        IsWinMe = 1;
    else
        return 0;
    return 1;
}

/* Decides membership of the built-in Administrators group by an access check
   against a descriptor that grants access to that group only. Any step that
   fails counts as "not a member". */
static int IsAdministratorsMember(void)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    GENERIC_MAPPING mapping = { CHECK_READ, CHECK_WRITE, 0, CHECK_READ | CHECK_WRITE };
    PRIVILEGE_SET privileges;
    DWORD privilegesLength = sizeof(privileges);
    DWORD granted = 0;
    BOOL status = FALSE;
    HANDLE token = NULL;
    PSID administrators = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    PACL acl = NULL;
    DWORD aclSize;

    ImpersonateSelf(SecurityImpersonation);
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token)) {
        token = NULL;
        if (GetLastError() != ERROR_NO_TOKEN
            || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            token = NULL;
            goto done;
        }
    }
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
        administrators = NULL;
        goto done;
    }
    descriptor = (PSECURITY_DESCRIPTOR)LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    if (descriptor == NULL || !InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION))
        goto done;
    /* The list's header and one entry, whose first SID word is part of the SID. */
    aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(administrators);
    acl = (PACL)LocalAlloc(LPTR, aclSize);
    if (acl == NULL || !InitializeAcl(acl, aclSize, ACL_REVISION2)
        || !AddAccessAllowedAce(acl, ACL_REVISION2, CHECK_READ | CHECK_WRITE, administrators)
        || !SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE))
        goto done;
    SetSecurityDescriptorGroup(descriptor, administrators, FALSE);
    SetSecurityDescriptorOwner(descriptor, administrators, FALSE);
    if (!IsValidSecurityDescriptor(descriptor)
        || !AccessCheck(descriptor, token, CHECK_READ, &mapping, &privileges, &privilegesLength,
                        &granted, &status))
        status = FALSE;

done:
    /* The thread gives up the impersonation whichever step ended the check. */
    RevertToSelf();
    if (acl != NULL)
        LocalFree(acl);
    if (descriptor != NULL)
        LocalFree(descriptor);
    if (administrators != NULL)
        FreeSid(administrators);
    if (token != NULL)
        CloseHandle(token);
    return status ? 1 : 0;
}

int CheckAdministrator(void)
{
    if (Is9xFamily())
        return 1;
    if (IsAdministratorsMember())
        return 1;
    ShowStringMessage(IDS_ERROR, IDS_NOT_ADMIN);
    return 0;
}

/* Enables the shutdown privilege of the process; 0 when it was not granted. */
static int EnableShutdownPrivilege(void)
{
    HANDLE token;
    TOKEN_PRIVILEGES privileges;
    int enabled = 0;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return 0;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        /* A privilege that is not held is reported through the last error alone. */
        SetLastError(ERROR_SUCCESS);
        enabled = AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL)
                  && GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(token);
    return enabled;
}

void RestartWindows(void)
{
    if (IsNtFamily()) {
        if (EnableShutdownPrivilege())
            ExitWindowsEx(EWX_REBOOT, 0);
    } else if (Is9xFamily()) {
        ExitWindowsEx(EWX_REBOOT, 0);
    }
}
