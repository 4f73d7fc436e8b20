#include "library/system/profile/ProfileSource.h"

#include "library/diagnostics/SWin32ErrorResult.h"
#include "library/system/SModule.h"

#include <shlobj.h>
#include <userenv.h>

#include <atomic>

namespace S
{

namespace
{

constexpr DWORD PathChars = MAX_PATH;

constinit SLazyFunction<decltype(&SHGetKnownFolderPath)> g_KnownFolderPath{L"shell32.dll",
                                                                           "SHGetKnownFolderPath"};
constinit SLazyFunction<decltype(&SHGetFolderPathW)> g_FolderPath{L"shell32.dll", "SHGetFolderPathW"};
constinit SLazyFunction<decltype(&GetUserProfileDirectoryW)> g_UserProfileDirectory{
    L"userenv.dll", "GetUserProfileDirectoryW"};
constinit SLazyFunction<decltype(&ExpandEnvironmentStringsForUserW)> g_ExpandForUser{
    L"userenv.dll", "ExpandEnvironmentStringsForUserW"};

// A failed call's reason; never 0, since some calls fail without setting the last error.
SResult LastErrorResult() noexcept
{
    const DWORD error = GetLastError();
    return error != 0 ? HResultFromWin32(error) : kResultGenFailure;
}

class ProfileLiveSource final : public IProfileSource
{
public:
    bool HasKnownFolderLookup() override
    {
        return STaskMemoryPolicy::Resolve() && g_KnownFolderPath.Get() != nullptr;
    }

    SResult KnownFolderPath(const GUID& id, DWORD flags, HANDLE token, SString& path) override
    {
        path.Clear();
        if (!HasKnownFolderLookup())
            return kResultFunctionMissing;
        wchar_t* text = nullptr;
        const HRESULT result = g_KnownFolderPath.Get()(id, flags, token, &text);
        const STaskMemory owned(text);
        if (owned)
            path.AssignNative(text);
        return result;
    }

    SResult FolderPath(int csidl, HANDLE token, DWORD type, SString& path) override
    {
        const auto folderPath = g_FolderPath.Get();
        if (folderPath == nullptr)
        {
            path.Clear();
            return kResultFunctionMissing;
        }
        const HRESULT result = folderPath(nullptr, csidl, token, type, path.GetBuffer(PathChars));
        path.ReleaseBuffer();
        return result;
    }

    SResult UserProfileDirectory(HANDLE token, SString& path) override
    {
        path.Clear();
        const auto profileDirectory = g_UserProfileDirectory.Get();
        if (profileDirectory == nullptr)
            return kResultFunctionMissing;
        DWORD size = PathChars;
        const BOOL read = profileDirectory(token, path.GetBuffer(PathChars), &size);
        const SResult result = read ? SResult(0) : LastErrorResult();
        path.ReleaseBuffer(read ? SNpos : 0);
        return result;
    }

    SResult ExpandForUser(HANDLE token, const wchar_t* source, wchar_t* buffer, DWORD size) override
    {
        const auto expand = g_ExpandForUser.Get();
        if (expand == nullptr)
            return kResultFunctionMissing;
        const BOOL answer = expand(token, source, buffer, size);
        if (!answer)
            return LastErrorResult();
        // Wine answers a buffer that is too small with the size it needs and a cut text.
        return static_cast<DWORD>(answer) > size ? kResultInsufficientBuffer : SResult(0);
    }

    SResult ExpandForProcess(const wchar_t* source, wchar_t* buffer, DWORD size, DWORD& needed) override
    {
        needed = ExpandEnvironmentStringsW(source, buffer, size);
        return needed != 0 ? SResult(0) : LastErrorResult();
    }
};

constinit ProfileLiveSource g_LiveSource;
// Lock-free: read and replaced by one atomic operation each; null means the live source.
constinit std::atomic<IProfileSource*> g_SourceForTesting{nullptr};

} // namespace

IProfileSource& LiveProfileSource() noexcept
{
    return g_LiveSource;
}

IProfileSource& CurrentProfileSource() noexcept
{
    IProfileSource* const source = g_SourceForTesting.load(std::memory_order_acquire);
    return source != nullptr ? *source : g_LiveSource;
}

IProfileSource* SetProfileSourceForTesting(IProfileSource* source) noexcept
{
    return g_SourceForTesting.exchange(source, std::memory_order_acq_rel);
}

} // namespace S
