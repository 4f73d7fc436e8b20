#include "library/system/profile/SFolderTable.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

using S::GetFolderTableEntry;
using S::SLegacyFolder;

// Each row's Known Folder ID against the system header's constant of the folder it names, in
// index order (the comments give the first index of a line); the rows without a token name (null
// here) still carry an ID of their own.
TEST(FolderTable, KnownFolderIdsAreThePublishedValues)
{
    // clang-format off
    const GUID* const ids[S::kFolderIndexCount] = {
        /*   0 */ &FOLDERID_NetworkFolder, &FOLDERID_ComputerFolder, &FOLDERID_InternetFolder,
        /*   3 */ &FOLDERID_ControlPanelFolder, &FOLDERID_PrintersFolder, &FOLDERID_SyncManagerFolder,
        /*   6 */ &FOLDERID_SyncSetupFolder, &FOLDERID_ConflictFolder, &FOLDERID_SyncResultsFolder,
        /*   9 */ &FOLDERID_RecycleBinFolder, &FOLDERID_ConnectionsFolder, &FOLDERID_Fonts, &FOLDERID_Desktop,
        /*  13 */ &FOLDERID_Startup, &FOLDERID_Programs, &FOLDERID_StartMenu, &FOLDERID_Recent,
        /*  17 */ &FOLDERID_SendTo, &FOLDERID_Documents, &FOLDERID_Favorites, &FOLDERID_NetHood,
        /*  21 */ &FOLDERID_PrintHood, &FOLDERID_Templates, &FOLDERID_CommonStartup, &FOLDERID_CommonPrograms,
        /*  25 */ &FOLDERID_CommonStartMenu, &FOLDERID_PublicDesktop, &FOLDERID_ProgramData,
        /*  28 */ &FOLDERID_CommonTemplates, &FOLDERID_PublicDocuments, &FOLDERID_RoamingAppData,
        /*  31 */ &FOLDERID_LocalAppData, &FOLDERID_LocalAppDataLow, &FOLDERID_InternetCache,
        /*  34 */ &FOLDERID_Cookies, &FOLDERID_History, &FOLDERID_System, &FOLDERID_SystemX86,
        /*  38 */ &FOLDERID_Windows, &FOLDERID_Profile, &FOLDERID_Pictures, &FOLDERID_ProgramFilesX86,
        /*  42 */ &FOLDERID_ProgramFilesCommonX86, &FOLDERID_ProgramFilesX64, &FOLDERID_ProgramFilesCommonX64,
        /*  45 */ &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesCommon, &FOLDERID_AdminTools,
        /*  48 */ &FOLDERID_CommonAdminTools, &FOLDERID_Playlists, &FOLDERID_Music, &FOLDERID_Videos,
        /*  52 */ &FOLDERID_PublicPictures, &FOLDERID_PublicMusic, &FOLDERID_PublicVideos,
        /*  55 */ &FOLDERID_ResourceDir, &FOLDERID_LocalizedResourcesDir, &FOLDERID_CommonOEMLinks,
        /*  58 */ &FOLDERID_CDBurning, &FOLDERID_UserProfiles, &FOLDERID_SamplePlaylists,
        /*  61 */ &FOLDERID_SampleMusic, &FOLDERID_SamplePictures, &FOLDERID_SampleVideos,
        /*  64 */ &FOLDERID_PhotoAlbums, &FOLDERID_Public, &FOLDERID_ChangeRemovePrograms,
        /*  67 */ &FOLDERID_AppUpdates, &FOLDERID_AddNewPrograms, &FOLDERID_Downloads,
        /*  70 */ &FOLDERID_PublicDownloads, &FOLDERID_SavedSearches, &FOLDERID_QuickLaunch,
        /*  73 */ &FOLDERID_Contacts, &FOLDERID_SidebarDefaultParts, &GUID_NULL, &FOLDERID_PublicGameTasks,
        /*  77 */ &FOLDERID_GameTasks, &FOLDERID_SavedGames, &FOLDERID_Games, &GUID_NULL,
        /*  81 */ &FOLDERID_SEARCH_MAPI, &FOLDERID_SEARCH_CSC, &FOLDERID_Links, &FOLDERID_UsersFiles,
        /*  85 */ &FOLDERID_SearchHome, &FOLDERID_OriginalImages, &FOLDERID_ProgramData, nullptr,
        /*  89 */ &FOLDERID_DocumentsLibrary, &FOLDERID_ImplicitAppShortcuts, &FOLDERID_Libraries,
        /*  92 */ &FOLDERID_PicturesLibrary, nullptr, nullptr, nullptr, &FOLDERID_Ringtones,
        /*  97 */ &FOLDERID_UserPinned, &FOLDERID_UserProgramFiles, &FOLDERID_UserProgramFilesCommon,
        /* 100 */ &FOLDERID_VideosLibrary, &GUID_NULL, &FOLDERID_SavedPictures,
        /* 103 */ &FOLDERID_SavedPicturesLibrary, &FOLDERID_MusicLibrary, &FOLDERID_SidebarParts,
        /* 106 */ &FOLDERID_AccountPictures, &FOLDERID_ApplicationShortcuts, &FOLDERID_Screenshots,
        /* 109 */ &FOLDERID_RoamedTileImages, &FOLDERID_RoamingTiles, &FOLDERID_CameraRoll,
        /* 112 */ &FOLDERID_SearchHistory, &FOLDERID_SearchTemplates, &FOLDERID_SkyDrive,
        /* 115 */ &FOLDERID_SkyDriveCameraRoll, &FOLDERID_SkyDriveDocuments, &FOLDERID_SkyDrivePictures,
        /* 118 */ &FOLDERID_AppDataDesktop, &FOLDERID_AppDataDocuments, &FOLDERID_AppDataFavorites,
        /* 121 */ &FOLDERID_AppDataProgramData, &FOLDERID_Objects3D};
    // clang-format on
    for (unsigned index = 0; index < S::kFolderIndexCount; ++index)
    {
        const GUID& actual = GetFolderTableEntry(index)->KnownFolderId;
        if (ids[index] != nullptr)
            EXPECT_TRUE(IsEqualGUID(actual, *ids[index])) << "index " << index;
        else
            EXPECT_FALSE(IsEqualGUID(actual, GUID_NULL)) << "index " << index;
    }
}

TEST(FolderTable, LegacyResolutions)
{
    // The CSIDL of each index below 59 in index order (the comments give the first index of a
    // line); -1 where the row has none.
    // clang-format off
    const int csidls[] = {
        /*  0 */ CSIDL_NETWORK, CSIDL_DRIVES, CSIDL_INTERNET, CSIDL_CONTROLS, CSIDL_PRINTERS, -1, -1, -1, -1,
        /*  9 */ CSIDL_BITBUCKET, CSIDL_CONNECTIONS, CSIDL_FONTS, CSIDL_DESKTOPDIRECTORY, CSIDL_STARTUP,
        /* 14 */ CSIDL_PROGRAMS, CSIDL_STARTMENU, CSIDL_RECENT, CSIDL_SENDTO, CSIDL_PERSONAL, CSIDL_FAVORITES,
        /* 20 */ CSIDL_NETHOOD, CSIDL_PRINTHOOD, CSIDL_TEMPLATES, CSIDL_COMMON_STARTUP, CSIDL_COMMON_PROGRAMS,
        /* 25 */ CSIDL_COMMON_STARTMENU, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_APPDATA,
        /* 28 */ CSIDL_COMMON_TEMPLATES, CSIDL_COMMON_DOCUMENTS, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, -1,
        /* 33 */ CSIDL_INTERNET_CACHE, CSIDL_COOKIES, CSIDL_HISTORY, CSIDL_SYSTEM, CSIDL_SYSTEMX86,
        /* 38 */ CSIDL_WINDOWS, -1, CSIDL_MYPICTURES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMONX86,
        /* 43 */ -1, -1, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILES_COMMON, CSIDL_ADMINTOOLS,
        /* 48 */ CSIDL_COMMON_ADMINTOOLS, -1, CSIDL_MYMUSIC, CSIDL_MYVIDEO, CSIDL_COMMON_PICTURES,
        /* 53 */ CSIDL_COMMON_MUSIC, CSIDL_COMMON_VIDEO, CSIDL_RESOURCES, CSIDL_RESOURCES_LOCALIZED,
        /* 57 */ CSIDL_COMMON_OEM_LINKS, CSIDL_CDBURN_AREA};
    // clang-format on
    unsigned withResolution = 0;
    for (unsigned index = 0; index < std::size(csidls); ++index)
    {
        if (csidls[index] < 0)
            continue;
        EXPECT_EQ(GetFolderTableEntry(index)->Legacy, SLegacyFolder::Csidl) << index;
        EXPECT_EQ(GetFolderTableEntry(index)->Csidl, csidls[index]) << index;
        ++withResolution;
    }
    EXPECT_EQ(GetFolderTableEntry(39)->Legacy, SLegacyFolder::ProfileDirectory);
    EXPECT_EQ(GetFolderTableEntry(39)->Csidl, CSIDL_PROFILE);
    EXPECT_EQ(GetFolderTableEntry(59)->Legacy, SLegacyFolder::ProfilesParent);
    EXPECT_EQ(GetFolderTableEntry(59)->Csidl, 0x003E); // CSIDL_PROFILES, which mingw does not define
    const std::pair<unsigned, const wchar_t*> templateRows[] = {
        {61, L"%ALLUSERSPROFILE%\\Documents\\My Music\\Sample Music"},
        {62, L"%ALLUSERSPROFILE%\\Documents\\My Pictures\\Sample Pictures"},
        {72, L"%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch"},
        {87, L"%ALLUSERSPROFILE%"},
    };
    for (const auto& [index, pattern] : templateRows)
    {
        EXPECT_EQ(GetFolderTableEntry(index)->Legacy, SLegacyFolder::Template) << index;
        EXPECT_STREQ(GetFolderTableEntry(index)->Template, pattern) << index;
    }
    withResolution += 2 + std::size(templateRows);
    unsigned without = 0;
    for (unsigned index = 0; index < S::kFolderIndexCount; ++index)
        without += GetFolderTableEntry(index)->Legacy == SLegacyFolder::None ? 1 : 0;
    EXPECT_EQ(without + withResolution, S::kFolderIndexCount)
        << "only the rows above have a legacy resolution";
}

TEST(FolderTable, TokensAndBounds)
{
    EXPECT_STREQ(GetFolderTableEntry(11)->Tokens[0], L"?fonts?");
    EXPECT_EQ(GetFolderTableEntry(11)->Tokens[1], nullptr);
    EXPECT_STREQ(GetFolderTableEntry(18)->Tokens[1], L"%mydocs%");
    EXPECT_STREQ(GetFolderTableEntry(38)->Tokens[0], L"?windows?");
    EXPECT_STREQ(GetFolderTableEntry(38)->Tokens[2], L"%windir%");
    EXPECT_STREQ(GetFolderTableEntry(45)->Tokens[0], L"%programfiles%");
    EXPECT_STREQ(GetFolderTableEntry(101)->Tokens[0], L"%systemdrive%");
    EXPECT_STREQ(GetFolderTableEntry(122)->Tokens[0], L"?objects3d?");
    for (const unsigned index : {75u, 80u, 88u})
        EXPECT_EQ(GetFolderTableEntry(index)->Tokens[0], nullptr) << index;
    EXPECT_EQ(GetFolderTableEntry(S::kFolderIndexCount), nullptr);
    EXPECT_EQ(GetFolderTableEntry(0xFFFFFFFFu), nullptr);
}
