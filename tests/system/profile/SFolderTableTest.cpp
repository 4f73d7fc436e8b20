#include "library/system/profile/SFolderTable.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

using S::GetFolderTableEntry;
using S::SLegacyFolder;

// Each row's Known Folder ID against the system header's constant of the folder it names.
TEST(FolderTable, KnownFolderIdsAreThePublishedValues)
{
    const std::pair<unsigned, const GUID*> rows[] = {
        {0, &FOLDERID_NetworkFolder},
        {1, &FOLDERID_ComputerFolder},
        {2, &FOLDERID_InternetFolder},
        {3, &FOLDERID_ControlPanelFolder},
        {4, &FOLDERID_PrintersFolder},
        {5, &FOLDERID_SyncManagerFolder},
        {6, &FOLDERID_SyncSetupFolder},
        {7, &FOLDERID_ConflictFolder},
        {8, &FOLDERID_SyncResultsFolder},
        {9, &FOLDERID_RecycleBinFolder},
        {10, &FOLDERID_ConnectionsFolder},
        {11, &FOLDERID_Fonts},
        {12, &FOLDERID_Desktop},
        {13, &FOLDERID_Startup},
        {14, &FOLDERID_Programs},
        {15, &FOLDERID_StartMenu},
        {16, &FOLDERID_Recent},
        {17, &FOLDERID_SendTo},
        {18, &FOLDERID_Documents},
        {19, &FOLDERID_Favorites},
        {20, &FOLDERID_NetHood},
        {21, &FOLDERID_PrintHood},
        {22, &FOLDERID_Templates},
        {23, &FOLDERID_CommonStartup},
        {24, &FOLDERID_CommonPrograms},
        {25, &FOLDERID_CommonStartMenu},
        {26, &FOLDERID_PublicDesktop},
        {27, &FOLDERID_ProgramData},
        {28, &FOLDERID_CommonTemplates},
        {29, &FOLDERID_PublicDocuments},
        {30, &FOLDERID_RoamingAppData},
        {31, &FOLDERID_LocalAppData},
        {32, &FOLDERID_LocalAppDataLow},
        {33, &FOLDERID_InternetCache},
        {34, &FOLDERID_Cookies},
        {35, &FOLDERID_History},
        {36, &FOLDERID_System},
        {37, &FOLDERID_SystemX86},
        {38, &FOLDERID_Windows},
        {39, &FOLDERID_Profile},
        {40, &FOLDERID_Pictures},
        {41, &FOLDERID_ProgramFilesX86},
        {42, &FOLDERID_ProgramFilesCommonX86},
        {43, &FOLDERID_ProgramFilesX64},
        {44, &FOLDERID_ProgramFilesCommonX64},
        {45, &FOLDERID_ProgramFiles},
        {46, &FOLDERID_ProgramFilesCommon},
        {47, &FOLDERID_AdminTools},
        {48, &FOLDERID_CommonAdminTools},
        {49, &FOLDERID_Playlists},
        {50, &FOLDERID_Music},
        {51, &FOLDERID_Videos},
        {52, &FOLDERID_PublicPictures},
        {53, &FOLDERID_PublicMusic},
        {54, &FOLDERID_PublicVideos},
        {55, &FOLDERID_ResourceDir},
        {56, &FOLDERID_LocalizedResourcesDir},
        {57, &FOLDERID_CommonOEMLinks},
        {58, &FOLDERID_CDBurning},
        {59, &FOLDERID_UserProfiles},
        {60, &FOLDERID_SamplePlaylists},
        {61, &FOLDERID_SampleMusic},
        {62, &FOLDERID_SamplePictures},
        {63, &FOLDERID_SampleVideos},
        {64, &FOLDERID_PhotoAlbums},
        {65, &FOLDERID_Public},
        {66, &FOLDERID_ChangeRemovePrograms},
        {67, &FOLDERID_AppUpdates},
        {68, &FOLDERID_AddNewPrograms},
        {69, &FOLDERID_Downloads},
        {70, &FOLDERID_PublicDownloads},
        {71, &FOLDERID_SavedSearches},
        {72, &FOLDERID_QuickLaunch},
        {73, &FOLDERID_Contacts},
        {74, &FOLDERID_SidebarDefaultParts},
        {76, &FOLDERID_PublicGameTasks},
        {77, &FOLDERID_GameTasks},
        {78, &FOLDERID_SavedGames},
        {79, &FOLDERID_Games},
        {81, &FOLDERID_SEARCH_MAPI},
        {82, &FOLDERID_SEARCH_CSC},
        {83, &FOLDERID_Links},
        {84, &FOLDERID_UsersFiles},
        {85, &FOLDERID_SearchHome},
        {86, &FOLDERID_OriginalImages},
        {87, &FOLDERID_ProgramData},
        {89, &FOLDERID_DocumentsLibrary},
        {90, &FOLDERID_ImplicitAppShortcuts},
        {91, &FOLDERID_Libraries},
        {92, &FOLDERID_PicturesLibrary},
        {96, &FOLDERID_Ringtones},
        {97, &FOLDERID_UserPinned},
        {98, &FOLDERID_UserProgramFiles},
        {99, &FOLDERID_UserProgramFilesCommon},
        {100, &FOLDERID_VideosLibrary},
        {102, &FOLDERID_SavedPictures},
        {103, &FOLDERID_SavedPicturesLibrary},
        {104, &FOLDERID_MusicLibrary},
        {105, &FOLDERID_SidebarParts},
        {106, &FOLDERID_AccountPictures},
        {107, &FOLDERID_ApplicationShortcuts},
        {108, &FOLDERID_Screenshots},
        {109, &FOLDERID_RoamedTileImages},
        {110, &FOLDERID_RoamingTiles},
        {111, &FOLDERID_CameraRoll},
        {112, &FOLDERID_SearchHistory},
        {113, &FOLDERID_SearchTemplates},
        {114, &FOLDERID_SkyDrive},
        {115, &FOLDERID_SkyDriveCameraRoll},
        {116, &FOLDERID_SkyDriveDocuments},
        {117, &FOLDERID_SkyDrivePictures},
        {118, &FOLDERID_AppDataDesktop},
        {119, &FOLDERID_AppDataDocuments},
        {120, &FOLDERID_AppDataFavorites},
        {121, &FOLDERID_AppDataProgramData},
        {122, &FOLDERID_Objects3D},
        {75, &GUID_NULL},
        {80, &GUID_NULL},
        {101, &GUID_NULL},
    };
    for (const auto& [index, id] : rows)
    {
        const S::SFolderTableEntry* row = GetFolderTableEntry(index);
        ASSERT_NE(row, nullptr) << index;
        EXPECT_TRUE(IsEqualGUID(row->KnownFolderId, *id)) << "index " << index;
    }
    // The rows without a token name still carry an ID.
    for (const unsigned index : {88u, 93u, 94u, 95u})
        EXPECT_FALSE(IsEqualGUID(GetFolderTableEntry(index)->KnownFolderId, GUID_NULL)) << index;
}

TEST(FolderTable, LegacyResolutions)
{
    const std::pair<unsigned, int> csidlRows[] = {
        {0, CSIDL_NETWORK},
        {1, CSIDL_DRIVES},
        {2, CSIDL_INTERNET},
        {3, CSIDL_CONTROLS},
        {4, CSIDL_PRINTERS},
        {9, CSIDL_BITBUCKET},
        {10, CSIDL_CONNECTIONS},
        {11, CSIDL_FONTS},
        {12, CSIDL_DESKTOPDIRECTORY},
        {13, CSIDL_STARTUP},
        {14, CSIDL_PROGRAMS},
        {15, CSIDL_STARTMENU},
        {16, CSIDL_RECENT},
        {17, CSIDL_SENDTO},
        {18, CSIDL_PERSONAL},
        {19, CSIDL_FAVORITES},
        {20, CSIDL_NETHOOD},
        {21, CSIDL_PRINTHOOD},
        {22, CSIDL_TEMPLATES},
        {23, CSIDL_COMMON_STARTUP},
        {24, CSIDL_COMMON_PROGRAMS},
        {25, CSIDL_COMMON_STARTMENU},
        {26, CSIDL_COMMON_DESKTOPDIRECTORY},
        {27, CSIDL_COMMON_APPDATA},
        {28, CSIDL_COMMON_TEMPLATES},
        {29, CSIDL_COMMON_DOCUMENTS},
        {30, CSIDL_APPDATA},
        {31, CSIDL_LOCAL_APPDATA},
        {33, CSIDL_INTERNET_CACHE},
        {34, CSIDL_COOKIES},
        {35, CSIDL_HISTORY},
        {36, CSIDL_SYSTEM},
        {37, CSIDL_SYSTEMX86},
        {38, CSIDL_WINDOWS},
        {40, CSIDL_MYPICTURES},
        {41, CSIDL_PROGRAM_FILESX86},
        {42, CSIDL_PROGRAM_FILES_COMMONX86},
        {45, CSIDL_PROGRAM_FILES},
        {46, CSIDL_PROGRAM_FILES_COMMON},
        {47, CSIDL_ADMINTOOLS},
        {48, CSIDL_COMMON_ADMINTOOLS},
        {50, CSIDL_MYMUSIC},
        {51, CSIDL_MYVIDEO},
        {52, CSIDL_COMMON_PICTURES},
        {53, CSIDL_COMMON_MUSIC},
        {54, CSIDL_COMMON_VIDEO},
        {55, CSIDL_RESOURCES},
        {56, CSIDL_RESOURCES_LOCALIZED},
        {57, CSIDL_COMMON_OEM_LINKS},
        {58, CSIDL_CDBURN_AREA},
    };
    unsigned withResolution = 0;
    for (const auto& [index, csidl] : csidlRows)
    {
        const S::SFolderTableEntry* row = GetFolderTableEntry(index);
        EXPECT_EQ(row->Legacy, SLegacyFolder::Csidl) << index;
        EXPECT_EQ(row->Csidl, csidl) << index;
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
