// What the agent adds to a process start: the inline attach (loading the DLL with its hand-off
// values present) for an application with 0, 10 and 100 fonts, beside a floor that makes only the
// essential calls for the same job, and where the fixed cost at 0 fonts goes.
#include "library/system/SHandle.h"
#include "library/system/network/SMappedDrives.h"
#include "library/system/osversion/SOSInfo.h"
#include "library/system/profile/SKnownFolders.h"
#include "library/system/profile/SUserProfile.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"
#include "fonts/FontRegistration.h"
#include "tests/common/FontVisibility.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace S;

namespace
{

constexpr int kRounds = 21;
constexpr const wchar_t* kApp = L"{00000000-0000-0000-0000-0000000000be}";

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path, n);
    return full.substr(0, full.find_last_of(L"\\/") + 1);
}

double NowMs()
{
    static LARGE_INTEGER frequency = []
    {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs setup (untimed), then measures work, kRounds times; the median in milliseconds.
double MeasureMs(const std::function<void()>& setup, const std::function<void()>& work,
                 const std::function<void()>& teardown)
{
    std::vector<double> samples;
    for (int i = 0; i < kRounds; ++i)
    {
        setup();
        const double start = NowMs();
        work();
        samples.push_back(NowMs() - start);
        teardown();
    }
    return Median(samples);
}

class Application
{
public:
    Application(const SString& profile, uint32_t session, int fonts) : m_Session(session)
    {
        m_KeyPath = GetApplicationFontsKeyLocation(profile, SString(kApp), session).path.c_str();
        const wchar_t* files[] = {L"one.ttf", L"two.ttf", L"three.ttf", L"four.ttf"};
        SRegistryKeyHandle key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_KeyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.Put(), nullptr);
        for (int i = 0; i < fonts; ++i)
        {
            const std::wstring path = BinFolder() + L"testfonts\\" + files[i % 4];
            const std::wstring name = L"Font " + std::to_wstring(1000 + i);
            RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
            m_Paths.push_back(path);
        }
        m_Root = std::wstring(profile.c_str()) + L"-" + std::to_wstring(session);
    }
    ~Application() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_Root.c_str()); }

    void WriteHandoff() const
    {
        const std::wstring handoffPath = GetHandoffKeyLocation().path.c_str();
        const std::wstring session = std::to_wstring(m_Session);
        const std::wstring app = kApp;
        RegSetKeyValueW(HKEY_CURRENT_USER, handoffPath.c_str(),
                        HandoffValueName(0 + GetCurrentProcessId(), SString(kHandoffSessionId)).c_str(),
                        REG_SZ, session.c_str(), static_cast<DWORD>((session.size() + 1) * 2));
        RegSetKeyValueW(HKEY_CURRENT_USER, handoffPath.c_str(),
                        HandoffValueName(GetCurrentProcessId(), SString(kHandoffAppId)).c_str(), REG_SZ,
                        app.c_str(), static_cast<DWORD>((app.size() + 1) * 2));
    }
    void RemoveFonts() const
    {
        for (const std::wstring& path : m_Paths)
            RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
    }
    const std::wstring& KeyPath() const { return m_KeyPath; }

private:
    uint32_t m_Session;
    std::wstring m_KeyPath;
    std::wstring m_Root;
    std::vector<std::wstring> m_Paths;
};

// The floor: read and delete the two values, open the Fonts key, enumerate, add each font.
void FloorJob(const std::wstring& fontsKeyPath)
{
    {
        SRegistryKeyHandle handoff;
        RegOpenKeyExW(HKEY_CURRENT_USER, GetHandoffKeyLocation().path.c_str(), 0, KEY_READ | KEY_SET_VALUE,
                      handoff.Put());
        for (const wchar_t* name : {kHandoffSessionId, kHandoffAppId})
        {
            const SString valueName = HandoffValueName(GetCurrentProcessId(), SString(name));
            wchar_t text[64];
            DWORD size = sizeof(text);
            RegQueryValueExW(handoff.Get(), valueName.c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(text), &size);
            RegDeleteValueW(handoff.Get(), valueName.c_str());
        }
    }
    SRegistryKeyHandle fonts;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, fontsKeyPath.c_str(), 0, KEY_READ, fonts.Put()) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index)
    {
        wchar_t name[260];
        wchar_t data[261] = {};
        DWORD nameChars = 260;
        DWORD dataBytes = 520;
        if (RegEnumValueW(fonts.Get(), index, name, &nameChars, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(data), &dataBytes) != ERROR_SUCCESS)
            break;
        AddFontResourceExW(data, FR_PRIVATE, nullptr);
    }
}

} // namespace

int main()
{
    SString account;
    SString profile;
    SString sid;
    if (!GetCurrentUserProfile(account, profile, sid))
    {
        std::printf("agent attach: the current user's profile cannot be found\n");
        return 1;
    }
    const std::wstring dll = BinFolder() + L"Lumerelx64.dll";
    const uint32_t session = 60000 + GetCurrentProcessId() % 1000;

    for (const int fonts : {0, 10, 100})
    {
        const Application app(profile, session, fonts);
        // Agent and floor take turns within each round (first one, then the other), so that a load
        // change on the machine weighs on both figures alike.
        bool added = true;
        const auto agentRound = [&]
        {
            app.WriteHandoff();
            const double start = NowMs();
            SModuleRef module(LoadLibraryW(dll.c_str()));
            const double took = NowMs() - start;
            // The figure only counts when the agent really did its job.
            added = added && (fonts == 0 || STest::IsFontFamilyVisible(L"Lumerelx Test One"));
            module.Reset();
            app.RemoveFonts();
            return took;
        };
        const auto floorRound = [&]
        {
            app.WriteHandoff();
            const double start = NowMs();
            FloorJob(app.KeyPath());
            const double took = NowMs() - start;
            app.RemoveFonts();
            return took;
        };
        std::vector<double> agentMs;
        std::vector<double> floorMs;
        std::vector<double> ratios;
        for (int round = 0; round < kRounds; ++round)
        {
            double a = 0;
            double f = 0;
            if (round % 2 == 0)
            {
                a = agentRound();
                f = floorRound();
            }
            else
            {
                f = floorRound();
                a = agentRound();
            }
            agentMs.push_back(a);
            floorMs.push_back(f);
            ratios.push_back(f > 0 ? a / f : 0.0);
        }
        if (!added)
            std::printf("agent inline attach, %3d fonts: the agent did not add the fonts\n", fonts);
        std::printf("agent inline attach, %3d fonts: %8.3f ms   floor: %8.3f ms   agent/floor: %.2f "
                    "(median of the rounds' own ratios)\n",
                    fonts, Median(agentMs), Median(floorMs), Median(ratios));
    }

    // Where the fixed cost goes: each step of the attach on its own.
    const auto nothing = [] {};
    SModuleRef module;
    const double load = MeasureMs(
        nothing, [&] { module.Reset(LoadLibraryW(dll.c_str())); }, [&] { module.Reset(); });
    const double profileMs = MeasureMs(
        nothing,
        []
        {
            SString a, p, s;
            GetCurrentUserProfile(a, p, s);
        },
        nothing);
    // The folder lookup and the drive enumeration fill per-process caches on their first call, and
    // each attach of the agent is such a first call: both figures are shown.
    const auto firstCall = [](const std::function<void()>& work)
    {
        const double start = NowMs();
        work();
        return NowMs() - start;
    };
    SResult folderResult;
    SString folderPath;
    const auto lookUpFolder = [&] { folderResult = GetFolderPathForVista(11, folderPath, nullptr); };
    const double folderFirst = firstCall(lookUpFolder);
    const double folder = MeasureMs(nothing, lookUpFolder, nothing);
    const auto enumerateDrives = []
    {
        SPath out;
        TranslateMappedDrives(SPath(L"C:\\windows\\Fonts"), out, nullptr);
    };
    const double drivesFirst = firstCall(enumerateDrives);
    const double drives = MeasureMs(nothing, enumerateDrives, nothing);
    // The attach reads three hand-off values ("Asynchronous", absent here, and the two written).
    const Application handoffApp(profile, session, 0);
    const double handoff =
        MeasureMs([&] { handoffApp.WriteHandoff(); },
                  []
                  {
                      SString value;
                      for (const wchar_t* name : {kHandoffAsynchronous, kHandoffSessionId, kHandoffAppId})
                          ReadHandoffValue(0, SString(name), value);
                  },
                  nothing);
    const double os = MeasureMs(
        nothing,
        []
        {
            OSVersionRecord record{};
            DetectOSVersion(record);
        },
        nothing);
    std::printf(
        "fixed cost: DLL load without hand-off values %.3f ms, profile %.3f ms, fonts folder %.3f ms first "
        "(%.3f ms later), drive enumeration %.3f ms first (%.3f ms later), OS detection (x2 at first use) "
        "%.3f ms, three hand-off reads %.3f ms\n",
        load, profileMs, folderFirst, folder, drivesFirst, drives, os, handoff);
    // In a fresh process that has only what an ordinary application has, the agent's first load
    // also loads the system modules it imports; the in-process figures above cannot show that. The
    // floor is an empty DLL linked as the agent is; the two take turns, and the ratio is the median of
    // the rounds' own ratios.
    const auto freshMs = [&](const std::wstring& modules)
    {
        std::wstring command = L"\"" + BinFolder() + L"bench_agent_fresh.exe\" " + modules;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        DWORD code = 0xFFFFFFFFu;
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process))
        {
            const SHandle child(process.hProcess), childThread(process.hThread);
            WaitForSingleObject(child.Get(), INFINITE);
            GetExitCodeProcess(child.Get(), &code);
        }
        return code >= 0xFFFFFFF0u ? -1.0 : code / 1000.0;
    };
    std::vector<double> agentFresh, emptyFresh, freshRatios;
    for (int i = 0; i < 11; ++i)
    {
        agentFresh.push_back(freshMs(L"\"" + dll + L"\""));
        emptyFresh.push_back(freshMs(L"\"" + BinFolder() + L"bench_empty_dll.dll\""));
        freshRatios.push_back(agentFresh.back() / emptyFresh.back());
    }
    std::printf("fresh application process: agent DLL load without hand-off values %.3f ms, empty DLL with "
                "the same link flags %.3f ms: %.2fx (target at most 1.5x); the job's system modules "
                "(ole32, shell32, dbghelp, mpr, userenv, wer) would cost %.3f ms\n",
                Median(agentFresh), Median(emptyFresh), Median(freshRatios),
                freshMs(L"ole32.dll shell32.dll dbghelp.dll mpr.dll userenv.dll wer.dll"));
    std::printf(
        "fresh application process: agent DLL load with those modules already loaded %.3f ms\n",
        freshMs(L"ole32.dll shell32.dll dbghelp.dll mpr.dll userenv.dll wer.dll -- \"" + dll + L"\""));
    std::printf("fonts folder lookup: 0x%08x \"%ls\"\n", folderResult.Unsigned(), folderPath.c_str());
    return 0;
}
