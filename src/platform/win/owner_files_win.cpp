// Owner-only files on Windows: created new with a protected DACL that grants
// the current user alone, so nothing is inherited from the folder.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <string>
#include <vector>

#include "platform/owner_files.h"
#include "platform/win/text_win.h"

namespace vorn::platform {

namespace {

using win::SystemText;

// The current user's SID, as the token holds it.
bool CurrentUserSid(std::vector<BYTE>& buffer) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  buffer.resize(size);
  const bool ok = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  CloseHandle(token);
  return ok;
}
}  // namespace

std::FILE* CreateOwnerOnlyFile(const std::string& utf8Path, std::string* reason) {
  auto fail = [reason](DWORD error) -> std::FILE* {
    if (reason) *reason = SystemText(error);
    return nullptr;
  };
  const std::wstring path = win::Widen(utf8Path);
  if (path.empty()) return fail(ERROR_INVALID_NAME);

  std::vector<BYTE> user;
  if (!CurrentUserSid(user)) return fail(GetLastError());
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid) - sizeof(DWORD);
  std::vector<BYTE> aclBuffer(aclSize);
  PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeAcl(acl, aclSize, ACL_REVISION) || !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
      !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return fail(GetLastError());
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};

  // CREATE_NEW fails on any existing name, so nothing prepared there is used.
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return fail(GetLastError());
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    DeleteFileW(path.c_str());
    return fail(ERROR_TOO_MANY_OPEN_FILES);
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) {
    _close(fd);
    DeleteFileW(path.c_str());
    return fail(ERROR_TOO_MANY_OPEN_FILES);
  }
  return file;
}

}  // namespace vorn::platform
