// win32_inspect: prints what Windows itself reads from a program or a shortcut, one
// "name=value" line each, for the delivery tests to compare with their tables. Every
// fact comes through the API Explorer, the loader or the Start menu uses (version
// resources, activation contexts, icon loading, IShellLink), not from parsing the file
// ourselves, so that a resource windres accepts but Windows reads otherwise shows.
//
//   win32_inspect resources FILE.exe   version, icon group 1 and manifest of FILE
//   win32_inspect shortcut FILE.lnk    target, arguments, folder and icon of a shortcut
//   win32_inspect run COMMAND-LINE     runs it as Settings > Apps runs an uninstall
//                                      string, and waits for every process it starts
//
// Exit status 0 when FILE could be read at all, 2 otherwise; for run, the command's.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string utf8(const wchar_t* text, int length = -1) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  if (length < 0 && !out.empty()) {
    out.pop_back();  // the terminating NUL
  }
  return out;
}

void fact(const char* name, const std::string& value) { std::printf("%s=%s\n", name, value.c_str()); }

std::string dotted(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) + "." +
         std::to_string(LOWORD(low));
}

// The VERSIONINFO as Explorer reads it: the translation first, then each string
// through the block that translation names.
void printVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<char> info(size);
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, info.data())) {
    fact("version", "none");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    fact("version.fixed.file", dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    fact("version.fixed.product", dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
    fact("version.fixed.type", fixed->dwFileType == VFT_APP ? "application" : std::to_string(fixed->dwFileType));
  }
  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    fact("version.translation", "none");
    return;
  }
  wchar_t block[64];
  std::swprintf(block, 64, L"%04x%04x", translation->language, translation->codePage);
  fact("version.translation", utf8(block));
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
    wchar_t* value = nullptr;
    const std::string key = "version." + utf8(name);
    if (VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
      fact(key.c_str(), utf8(value));
    } else {
      fact(key.c_str(), "none");
    }
  }
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;  // 0 means 256
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;  // of the RT_ICON resource holding the image
};
struct GroupIconHeader {
  WORD reserved;
  WORD type;  // 1 for icons
  WORD count;
};
#pragma pack(pop)

int bitmapWidth(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) {
    return 0;
  }
  BITMAP bitmap{};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) {
    DeleteObject(info.hbmColor);
  }
  DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

// Icon group 1: each image it lists, decoded by Windows at its own size, and the icon
// LoadImageW picks for the sizes a window asks for.
void printIcon(HMODULE module) {
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  const auto* header = group ? static_cast<const GroupIconHeader*>(LockResource(LoadResource(module, group))) : nullptr;
  if (!header) {
    fact("icon.1", "none");
    return;
  }
  const auto* entries = reinterpret_cast<const GroupIconEntry*>(header + 1);
  std::string images;
  for (WORD i = 0; i < header->count; ++i) {
    const GroupIconEntry& entry = entries[i];
    const int size = entry.width ? entry.width : 256;
    HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3));  // RT_ICON
    int decoded = 0;
    if (image) {
      auto* bits = static_cast<BYTE*>(LockResource(LoadResource(module, image)));
      HICON icon = CreateIconFromResourceEx(bits, SizeofResource(module, image), TRUE, 0x00030000, size, size, 0);
      if (icon) {
        decoded = bitmapWidth(icon);
        DestroyIcon(icon);
      }
    }
    images += (images.empty() ? "" : " ") + std::to_string(size) + "/" + std::to_string(entry.bitCount) + "bpp" +
              (decoded == size ? "" : "/undecodable");
  }
  fact("icon.1", images);
  std::string loaded;
  for (int size : {16, 32, 48}) {
    HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0);
    loaded += (loaded.empty() ? "" : " ") + (icon ? std::to_string(bitmapWidth(static_cast<HICON>(icon))) : "none");
    if (icon) {
      DestroyIcon(static_cast<HICON>(icon));
    }
  }
  fact("icon.1.loadImage16,32,48", loaded);
}

std::string setting(HANDLE context, const wchar_t* space, const wchar_t* name) {
  wchar_t value[256] = {};
  SIZE_T written = 0;
  if (!QueryActCtxSettingsW(0, context, space, name, value, 256, &written)) {
    return "none";
  }
  return utf8(value);
}

std::string guidText(const GUID& id) {
  wchar_t text[64];
  StringFromGUID2(id, text, 64);
  std::string out = utf8(text);
  for (char& c : out) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// The manifest as the loader takes it: an activation context made from resource 1,
// asked what the process would get.
void printManifest(const std::wstring& path, HMODULE module) {
  if (!FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {  // RT_MANIFEST
    fact("manifest", "none");
    return;
  }
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE context = CreateActCtxW(&request);
  if (context == INVALID_HANDLE_VALUE) {
    fact("manifest", "rejected, error " + std::to_string(GetLastError()));
    return;
  }
  fact("manifest", "accepted");

  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
  SIZE_T needed = 0;
  if (QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &runLevel, sizeof runLevel, &needed)) {
    const char* levels[] = {"unspecified", "asInvoker", "highestAvailable", "requireAdministrator"};
    fact("manifest.runLevel", runLevel.RunLevel < 4 ? levels[runLevel.RunLevel] : "unknown");
    fact("manifest.uiAccess", runLevel.UiAccess ? "true" : "false");
  } else {
    fact("manifest.runLevel", "none");
  }

  // The element's size differs between SDKs (a MaxVersionTested field came later), so
  // the stride is taken from the size Windows reports.
  std::vector<BYTE> compatibility(4096);
  std::string systems;
  if (QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, compatibility.data(),
                   compatibility.size(), &needed)) {
    DWORD count = 0;
    std::memcpy(&count, compatibility.data(), sizeof count);
    const SIZE_T start = (count && (needed - 8) % count == 0 && (needed - 8) / count == 32) ? 8 : 4;
    const SIZE_T stride = count ? (needed - start) / count : 0;
    for (DWORD i = 0; i < count; ++i) {
      COMPATIBILITY_CONTEXT_ELEMENT element{};
      std::memcpy(&element, compatibility.data() + start + i * stride, sizeof element);
      if (element.Type == ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS) {
        systems += (systems.empty() ? "" : " ") + guidText(element.Id);
      }
    }
  }
  fact("manifest.supportedOS", systems.empty() ? "none" : systems);

  fact("manifest.dpiAware", setting(context, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"));
  fact("manifest.dpiAwareness",
       setting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"));
  fact("manifest.activeCodePage",
       setting(context, L"http://schemas.microsoft.com/SMI/2019/WindowsSettings", L"activeCodePage"));

  // The common controls a window of this program gets: loaded inside the context, as
  // the loader does for the process. Version 6 is the side-by-side assembly in WinSxS
  // (Wine's copy answers DllGetVersion with 5.81 even there, so the folder tells).
  ULONG_PTR cookie = 0;
  std::string controls = "none";
  if (ActivateActCtx(context, &cookie)) {
    if (HMODULE comctl = LoadLibraryW(L"comctl32.dll")) {
      wchar_t file[MAX_PATH * 2] = {};
      GetModuleFileNameW(comctl, file, MAX_PATH * 2);
      std::string folder = utf8(file);
      for (char& c : folder) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
      const std::string assembly = "microsoft.windows.common-controls_6595b64144ccf1df_";
      const auto at = folder.find(assembly);
      controls = at == std::string::npos ? "system" : folder.substr(at + assembly.size(), 3);  // "6.0"
      FreeLibrary(comctl);
    }
    DeactivateActCtx(0, cookie);
  }
  fact("manifest.commonControls", controls);
  ReleaseActCtx(context);
}

int resources(const std::wstring& path) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) {
    std::fprintf(stderr, "win32_inspect: cannot load %s: error %lu\n", utf8(path.c_str()).c_str(), GetLastError());
    return 2;
  }
  printVersion(path);
  printIcon(module);
  printManifest(path, module);
  FreeLibrary(module);
  return 0;
}

int shortcut(const std::wstring& path) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    return 2;
  }
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  int status = 2;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
    wchar_t text[MAX_PATH * 2] = {};
    int index = 0;
    fact("shortcut.target", SUCCEEDED(link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH)) ? utf8(text) : "none");
    text[0] = 0;
    link->GetArguments(text, MAX_PATH * 2);
    fact("shortcut.arguments", utf8(text));
    text[0] = 0;
    link->GetWorkingDirectory(text, MAX_PATH * 2);
    fact("shortcut.folder", utf8(text));
    text[0] = 0;
    link->GetIconLocation(text, MAX_PATH * 2, &index);
    fact("shortcut.icon", text[0] ? utf8(text) + "," + std::to_string(index) : "none");
    status = 0;
  } else {
    std::fprintf(stderr, "win32_inspect: cannot read the shortcut %s\n", utf8(path.c_str()).c_str());
  }
  if (file) {
    file->Release();
  }
  if (link) {
    link->Release();
  }
  CoUninitialize();
  return status;
}

// Under Wine, the first process of a prefix that needs a desktop starts Wine's own
// explorer.exe /desktop, which then belongs to that process's job and never ends.
bool isWineDesktop(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) {
    return false;
  }
  wchar_t image[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  const bool known = QueryFullProcessImageNameW(process, 0, image, &size);
  CloseHandle(process);
  const std::wstring path = known ? image : L"";
  const std::wstring desktop = L"\\explorer.exe";
  return path.size() >= desktop.size() &&
         _wcsicmp(path.c_str() + path.size() - desktop.size(), desktop.c_str()) == 0;
}

// An NSIS uninstaller copies itself to %TEMP%, starts the copy and returns at once; the
// copy does the work. A job holds the whole tree (a child joins its parent's job), and
// its completion port names each process that joins and ends: done when all have ended.
int run(const std::wstring& commandLine) {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job, port};
  if (!job || !port ||
      !SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association, sizeof association)) {
    std::fprintf(stderr, "win32_inspect: no job object: error %lu\n", GetLastError());
    return 2;
  }
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "win32_inspect: cannot start %s: error %lu\n", utf8(commandLine.c_str()).c_str(),
                 GetLastError());
    return 2;
  }
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    std::fprintf(stderr, "win32_inspect: cannot put the process in a job: error %lu\n", GetLastError());
    TerminateProcess(process.hProcess, 2);
    return 2;
  }
  ResumeThread(process.hThread);
  std::vector<DWORD> running;
  DWORD message = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* detail = nullptr;  // the process id, for the messages about one process
  bool started = false;
  while (!(started && running.empty()) && GetQueuedCompletionStatus(port, &message, &key, &detail, INFINITE) &&
         message != JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
    const auto pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(detail));
    if (message == JOB_OBJECT_MSG_NEW_PROCESS) {
      started = true;
      if (!isWineDesktop(pid)) {
        running.push_back(pid);
      }
    } else if (message == JOB_OBJECT_MSG_EXIT_PROCESS || message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS) {
      std::erase(running, pid);
    }
  }
  DWORD code = 2;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace

int main() {
  // The wide command line, so that a path outside the ANSI code page arrives whole.
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc == 3 && std::wcscmp(argv[1], L"resources") == 0) {
    return resources(argv[2]);
  }
  if (argc == 3 && std::wcscmp(argv[1], L"shortcut") == 0) {
    return shortcut(argv[2]);
  }
  if (argc == 3 && std::wcscmp(argv[1], L"run") == 0) {
    return run(argv[2]);
  }
  std::fprintf(stderr, "usage: win32_inspect resources FILE.exe | shortcut FILE.lnk | run COMMAND-LINE\n");
  return 2;
}
