#include "library/system/profile/SFolderTable.h"

namespace S
{

namespace
{

using Legacy = SLegacyFolder;

constexpr unsigned HexDigit(char c)
{
    return c >= '0' && c <= '9'   ? unsigned(c - '0')
           : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
                                  : throw "hex";
}

constexpr unsigned long long HexValue(const char* text, int digits)
{
    unsigned long long value = 0;
    for (int i = 0; i < digits; ++i)
        value = value * 16 + HexDigit(text[i]);
    return value;
}

// A GUID from its 36-character text form, as the published values are written.
constexpr GUID Id(const char (&text)[37])
{
    GUID id{static_cast<unsigned long>(HexValue(text, 8)),
            static_cast<unsigned short>(HexValue(text + 9, 4)),
            static_cast<unsigned short>(HexValue(text + 14, 4)),
            {}};
    for (int i = 0; i < 8; ++i)
        id.Data4[i] = static_cast<unsigned char>(HexValue(text + (i < 2 ? 19 + 2 * i : 20 + 2 * i), 2));
    return id;
}

// Known Folder IDs are the published Windows values.
// clang-format off
constexpr SFolderTableEntry FolderTable[kFolderIndexCount] = {
    /*   0 */ {{L"?networkfolder?"}, Id("D20BEEC4-5CA8-4905-AE3B-BF251EA09B53"), Legacy::Csidl, 18, nullptr},
    /*   1 */ {{L"?computerfolder?"}, Id("0AC0837C-BBF8-452A-850D-79D08E667CA7"), Legacy::Csidl, 17, nullptr},
    /*   2 */ {{L"?internetfolder?"}, Id("4D9F7874-4E0C-4904-967B-40B0D20C3E4B"), Legacy::Csidl, 1, nullptr},
    /*   3 */ {{L"?controlpanelfolder?"},
               Id("82A74AEB-AEB4-465C-A014-D097EE346D63"), Legacy::Csidl, 3, nullptr},
    /*   4 */ {{L"?printersfolder?"}, Id("76FC4E2D-D6AD-4519-A663-37BD56068185"), Legacy::Csidl, 4, nullptr},
    /*   5 */ {{L"?syncmanagerfolder?"},
               Id("43668BF8-C14E-49B2-97C9-747784D784B7"), Legacy::None, 0, nullptr},
    /*   6 */ {{L"?syncsetupfolder?"}, Id("0F214138-B1D3-4A90-BBA9-27CBC0C5389A"), Legacy::None, 0, nullptr},
    /*   7 */ {{L"?conflictfolder?"}, Id("4BFEFB45-347D-4006-A5BE-AC0CB0567192"), Legacy::None, 0, nullptr},
    /*   8 */ {{L"?syncresultsfolder?"},
               Id("289A9A43-BE44-4057-A41B-587A76D7E7F9"), Legacy::None, 0, nullptr},
    /*   9 */ {{L"?recyclebinfolder?"},
               Id("B7534046-3ECB-4C18-BE4E-64CD4CB7D6AC"), Legacy::Csidl, 10, nullptr},
    /*  10 */ {{L"?connectionsfolder?"},
               Id("6F0CD92B-2E97-45D1-88FF-B0D186B8DEDD"), Legacy::Csidl, 49, nullptr},
    /*  11 */ {{L"?fonts?"}, Id("FD228CB7-AE11-4AE3-864C-16F3910AB8FE"), Legacy::Csidl, 20, nullptr},
    /*  12 */ {{L"?desktop?"}, Id("B4BFCC3A-DB2C-424C-B029-7FE99A87C641"), Legacy::Csidl, 16, nullptr},
    /*  13 */ {{L"?startup?"}, Id("B97D20BB-F46A-4C97-BA10-5E3608430854"), Legacy::Csidl, 7, nullptr},
    /*  14 */ {{L"?programs?"}, Id("A77F5D77-2E2B-44C3-A6A2-ABA601054A51"), Legacy::Csidl, 2, nullptr},
    /*  15 */ {{L"?startmenu?"}, Id("625B53C3-AB48-4EC1-BA1F-A1EF4146FC19"), Legacy::Csidl, 11, nullptr},
    /*  16 */ {{L"?recent?"}, Id("AE50C081-EBD2-438A-8655-8A092E34987A"), Legacy::Csidl, 8, nullptr},
    /*  17 */ {{L"?sendto?"}, Id("8983036C-27C0-404B-8F08-102D10DCFD74"), Legacy::Csidl, 9, nullptr},
    /*  18 */ {{L"?documents?", L"%mydocs%"},
               Id("FDD39AD0-238F-46AF-ADB4-6C85480369C7"), Legacy::Csidl, 5, nullptr},
    /*  19 */ {{L"?favorites?"}, Id("1777F761-68AD-4D8A-87BD-30B759FA33DD"), Legacy::Csidl, 6, nullptr},
    /*  20 */ {{L"?nethood?"}, Id("C5ABBF53-E17F-4121-8900-86626FC2C973"), Legacy::Csidl, 19, nullptr},
    /*  21 */ {{L"?printhood?"}, Id("9274BD8D-CFD1-41C3-B35E-B13F55A758F4"), Legacy::Csidl, 27, nullptr},
    /*  22 */ {{L"?templates?"}, Id("A63293E8-664E-48DB-A079-DF759E0509F7"), Legacy::Csidl, 21, nullptr},
    /*  23 */ {{L"?commonstartup?"}, Id("82A5EA35-D9CD-47C5-9629-E15D2F714E6E"), Legacy::Csidl, 24, nullptr},
    /*  24 */ {{L"?commonprograms?"}, Id("0139D44E-6AFE-49F2-8690-3DAFCAE6FFB8"), Legacy::Csidl, 23, nullptr},
    /*  25 */ {{L"?commonstartmenu?"},
               Id("A4115719-D62E-491D-AA7C-E74B8BE3B067"), Legacy::Csidl, 22, nullptr},
    /*  26 */ {{L"?publicdesktop?"}, Id("C4AA340D-F20F-4863-AFEF-F87EF2E6BA25"), Legacy::Csidl, 25, nullptr},
    /*  27 */ {{L"?programdata?"}, Id("62AB5D82-FDC1-4DC3-A9DD-070D1D495D97"), Legacy::Csidl, 35, nullptr},
    /*  28 */ {{L"?commontemplates?"},
               Id("B94237E7-57AC-4347-9151-B08C6C32D1F7"), Legacy::Csidl, 45, nullptr},
    /*  29 */ {{L"?publicdocuments?"},
               Id("ED4824AF-DCE4-45A8-81E2-FC7965083634"), Legacy::Csidl, 46, nullptr},
    /*  30 */ {{L"?roamingappdata?", L"%appdata%"},
               Id("3EB685DB-65F9-4CF6-A03A-E3EF65729F3D"), Legacy::Csidl, 26, nullptr},
    /*  31 */ {{L"?localappdata?"}, Id("F1B32785-6FBA-4FCF-9D55-7B8E7F157091"), Legacy::Csidl, 28, nullptr},
    /*  32 */ {{L"?localappdatalow?"}, Id("A520A1A4-1780-4FF6-BD18-167343C5AF16"), Legacy::None, 0, nullptr},
    /*  33 */ {{L"?internetcache?"}, Id("352481E8-33BE-4251-BA85-6007CAEDCF9D"), Legacy::Csidl, 32, nullptr},
    /*  34 */ {{L"?cookies?"}, Id("2B0F765D-C0E9-4171-908E-08A611B84FF6"), Legacy::Csidl, 33, nullptr},
    /*  35 */ {{L"?history?"}, Id("D9DC8A3B-B784-432E-A781-5A1130A75963"), Legacy::Csidl, 34, nullptr},
    /*  36 */ {{L"?system?", L"%sysdir%"},
               Id("1AC14E77-02E7-4E5D-B744-2EB1AE5198B7"), Legacy::Csidl, 37, nullptr},
    /*  37 */ {{L"?systemX86?"}, Id("D65231B0-B2F1-4857-A4CE-A8E7C6EA7D27"), Legacy::Csidl, 41, nullptr},
    /*  38 */ {{L"?windows?", L"%systemroot%", L"%windir%"},
               Id("F38BF404-1D43-42F2-9305-67DE0B28FC23"), Legacy::Csidl, 36, nullptr},
    /*  39 */ {{L"?profile?", L"%home%"},
               Id("5E6C858F-0E22-4760-9AFE-EA3317B67173"), Legacy::ProfileDirectory, 40, nullptr},
    /*  40 */ {{L"?pictures?"}, Id("33E28130-4E1E-4676-835A-98395C3BC3BB"), Legacy::Csidl, 39, nullptr},
    /*  41 */ {{L"?programfilesx86?"},
               Id("7C5A40EF-A0FB-4BFC-874A-C0F2E0B9FA8E"), Legacy::Csidl, 42, nullptr},
    /*  42 */ {{L"?programfilescommonx86?"},
               Id("DE974D24-D9C6-4D3E-BF91-F4455120B917"), Legacy::Csidl, 44, nullptr},
    /*  43 */ {{L"?programfilesx64?"}, Id("6D809377-6AF0-444B-8957-A3773F02200E"), Legacy::None, 0, nullptr},
    /*  44 */ {{L"?programfilescommonx64?"},
               Id("6365D5A7-0F0D-45E5-87F6-0DA56B6A4F7D"), Legacy::None, 0, nullptr},
    /*  45 */ {{L"%programfiles%", L"?programfiles?"},
               Id("905E63B6-C1BF-494E-B29C-65B732D3D21A"), Legacy::Csidl, 38, nullptr},
    /*  46 */ {{L"%commonprogramfiles%", L"?programfilescommon?"},
               Id("F7F1ED05-9F6D-47A2-AAAE-29D317C6F066"), Legacy::Csidl, 43, nullptr},
    /*  47 */ {{L"?admintools?"}, Id("724EF170-A42D-4FEF-9F26-B60E846FBA4F"), Legacy::Csidl, 48, nullptr},
    /*  48 */ {{L"?commonadmintools?"},
               Id("D0384E7D-BAC3-4797-8F14-CBA229B392B5"), Legacy::Csidl, 47, nullptr},
    /*  49 */ {{L"?playlists?"}, Id("DE92C1C7-837F-4F69-A3BB-86E631204A23"), Legacy::None, 0, nullptr},
    /*  50 */ {{L"?music?"}, Id("4BD8D571-6D19-48D3-BE97-422220080E43"), Legacy::Csidl, 13, nullptr},
    /*  51 */ {{L"?videos?"}, Id("18989B1D-99B5-455B-841C-AB7C74E4DDFC"), Legacy::Csidl, 14, nullptr},
    /*  52 */ {{L"?publicpictures?"}, Id("B6EBFB86-6907-413C-9AF7-4FC2ABF07CC5"), Legacy::Csidl, 54, nullptr},
    /*  53 */ {{L"?publicmusic?"}, Id("3214FAB5-9757-4298-BB61-92A9DEAA44FF"), Legacy::Csidl, 53, nullptr},
    /*  54 */ {{L"?publicvideos?"}, Id("2400183A-6185-49FB-A2D8-4A392A602BA3"), Legacy::Csidl, 55, nullptr},
    /*  55 */ {{L"?resourcedir?"}, Id("8AD10C31-2ADB-4296-A8F7-E4701232C972"), Legacy::Csidl, 56, nullptr},
    /*  56 */ {{L"?localizedresourcesdir?"},
               Id("2A00375E-224C-49DE-B8D1-440DF7EF3DDC"), Legacy::Csidl, 57, nullptr},
    /*  57 */ {{L"?commonoemlinks?"}, Id("C1BAE2D0-10DF-4334-BEDD-7AA20B227A9D"), Legacy::Csidl, 58, nullptr},
    /*  58 */ {{L"?cdburning?"}, Id("9E52AB10-F80D-49DF-ACB8-4330F5687855"), Legacy::Csidl, 59, nullptr},
    /*  59 */ {{L"?userprofiles?"},
               Id("0762D272-C50A-4BB0-A382-697DCD729B80"), Legacy::ProfilesParent, 62, nullptr},
    /*  60 */ {{L"?sampleplaylists?"}, Id("15CA69B3-30EE-49C1-ACE1-6B5EC372AFB5"), Legacy::None, 0, nullptr},
    /*  61 */ {{L"?samplemusic?"},
               Id("B250C668-F57D-4EE1-A63C-290EE7D1AA1F"), Legacy::Template, 0,
               L"%ALLUSERSPROFILE%\\Documents\\My Music\\Sample Music"},
    /*  62 */ {{L"?samplepictures?"},
               Id("C4900540-2379-4C75-844B-64E6FAF8716B"), Legacy::Template, 0,
               L"%ALLUSERSPROFILE%\\Documents\\My Pictures\\Sample Pictures"},
    /*  63 */ {{L"?samplevideos?"}, Id("859EAD94-2E85-48AD-A71A-0969CB56A6CD"), Legacy::None, 0, nullptr},
    /*  64 */ {{L"?photoalbums?"}, Id("69D2CF90-FC33-4FB7-9A0C-EBB0F0FCB43C"), Legacy::None, 0, nullptr},
    /*  65 */ {{L"?public?"}, Id("DFDF76A2-C82A-4D63-906A-5644AC457385"), Legacy::None, 0, nullptr},
    /*  66 */ {{L"?changeremoveprograms?"},
               Id("DF7266AC-9274-4867-8D55-3BD661DE872D"), Legacy::None, 0, nullptr},
    /*  67 */ {{L"?appupdates?"}, Id("A305CE99-F527-492B-8B1A-7E76FA98D6E4"), Legacy::None, 0, nullptr},
    /*  68 */ {{L"?addnewprograms?"}, Id("DE61D971-5EBC-4F02-A3A9-6C82895E5C04"), Legacy::None, 0, nullptr},
    /*  69 */ {{L"?downloads?"}, Id("374DE290-123F-4565-9164-39C4925E467B"), Legacy::None, 0, nullptr},
    /*  70 */ {{L"?publicdownloads?"}, Id("3D644C9B-1FB8-4F30-9B45-F670235F79C0"), Legacy::None, 0, nullptr},
    /*  71 */ {{L"?savedsearches?"}, Id("7D1D3A04-DEBB-4115-95CF-2F29DA2920DA"), Legacy::None, 0, nullptr},
    /*  72 */ {{L"?quicklaunch?"},
               Id("52A4F021-7B75-48A9-9F6B-4B87A210BC8F"), Legacy::Template, 0,
               L"%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch"},
    /*  73 */ {{L"?contacts?"}, Id("56784854-C6CB-462B-8169-88E350ACB882"), Legacy::None, 0, nullptr},
    /*  74 */ {{L"?sidebardefaultparts?"},
               Id("7B396E54-9EC5-4300-BE0A-2482EBAE1A26"), Legacy::None, 0, nullptr},
    /*  75 */ {{}, {}, Legacy::None, 0, nullptr},
    /*  76 */ {{L"?publicgametasks?"}, Id("DEBF2536-E1A8-4C59-B6A2-414586476AEA"), Legacy::None, 0, nullptr},
    /*  77 */ {{L"?gametasks?"}, Id("054FAE61-4DD8-4787-80B6-090220C4B700"), Legacy::None, 0, nullptr},
    /*  78 */ {{L"?savedgames?"}, Id("4C5C32FF-BB9D-43B0-B5B4-2D72E54EAAA4"), Legacy::None, 0, nullptr},
    /*  79 */ {{L"?games?"}, Id("CAC52C1A-B53D-4EDC-92D7-6B2E8AC19434"), Legacy::None, 0, nullptr},
    /*  80 */ {{}, {}, Legacy::None, 0, nullptr},
    /*  81 */ {{L"?search_mapi?"}, Id("98EC0E18-2098-4D44-8644-66979315A281"), Legacy::None, 0, nullptr},
    /*  82 */ {{L"?search_csc?"}, Id("EE32E446-31CA-4ABA-814F-A5EBD2FD6D5E"), Legacy::None, 0, nullptr},
    /*  83 */ {{L"?links?"}, Id("BFB9D5E0-C6A9-404C-B2B2-AE6DB6AF4968"), Legacy::None, 0, nullptr},
    /*  84 */ {{L"?userfiles?"}, Id("F3CE0F7C-4901-4ACC-8648-D5D44B04EF8F"), Legacy::None, 0, nullptr},
    /*  85 */ {{L"?searchhome?"}, Id("190337D1-B8CA-4121-A639-6D472D16972A"), Legacy::None, 0, nullptr},
    /*  86 */ {{L"?originalimages?"}, Id("2C36C0AA-5812-4B87-BFD0-4CD0DFB19B39"), Legacy::None, 0, nullptr},
    /*  87 */ {{L"%allusersprofile%"},
               Id("62AB5D82-FDC1-4DC3-A9DD-070D1D495D97"), Legacy::Template, 0, L"%ALLUSERSPROFILE%"},
    /*  88 */ {{}, Id("5CE4A5E9-E4EB-479D-B89F-130C02886155"), Legacy::None, 0, nullptr},
    /*  89 */ {{L"?w7_documentslibrary?"},
               Id("7B0DB17D-9CD2-4A93-9733-46CC89022E7C"), Legacy::None, 0, nullptr},
    /*  90 */ {{L"?w7_implicitappshortcuts?"},
               Id("BCB5256F-79F6-4CEE-B725-DC34E402FD46"), Legacy::None, 0, nullptr},
    /*  91 */ {{L"?w7_libraries?"}, Id("1B3EA5DC-B587-4786-B4EF-BD1DC332AEAE"), Legacy::None, 0, nullptr},
    /*  92 */ {{L"?w7_pictureslibrary?"},
               Id("A990AE9F-A03B-4E80-94BC-9912D7504104"), Legacy::None, 0, nullptr},
    /*  93 */ {{}, Id("48DAF80B-E6CF-4F4E-B800-0E69D84EE384"), Legacy::None, 0, nullptr},
    /*  94 */ {{}, Id("E555AB60-153B-4D17-9F04-A5FE99FC15EC"), Legacy::None, 0, nullptr},
    /*  95 */ {{}, Id("1A6FDBA2-F42D-4358-A798-B74D745926C5"), Legacy::None, 0, nullptr},
    /*  96 */ {{L"?w7_ringtones?"}, Id("C870044B-F49E-4126-A9C3-B52A1FF411E8"), Legacy::None, 0, nullptr},
    /*  97 */ {{L"?w7_userpinned?"}, Id("9E3995AB-1F9C-4F13-B827-48B24B6C7174"), Legacy::None, 0, nullptr},
    /*  98 */ {{L"?w7_userprogramfiles?"},
               Id("5CD7AEE2-2219-4A67-B85D-6C9CE15660CB"), Legacy::None, 0, nullptr},
    /*  99 */ {{L"?w7_userprogramfilescommon?"},
               Id("BCBD3057-CA5C-4622-B42D-BC56DB0AE516"), Legacy::None, 0, nullptr},
    /* 100 */ {{L"?w7_videoslibrary?"}, Id("491E922F-5643-4AF4-A7EB-4E7A138D8174"), Legacy::None, 0, nullptr},
    /* 101 */ {{L"%systemdrive%"}, {}, Legacy::None, 0, nullptr},
    /* 102 */ {{L"?savedpictures?"}, Id("3B193882-D3AD-4EAB-965A-69829D1FB59F"), Legacy::None, 0, nullptr},
    /* 103 */ {{L"?savedpictureslibrary?"},
               Id("E25B5812-BE88-4BD9-94B0-29233477B6C3"), Legacy::None, 0, nullptr},
    /* 104 */ {{L"?w7_musiclibrary?"}, Id("2112AB0A-C86A-4FFE-A368-0DE96E47012E"), Legacy::None, 0, nullptr},
    /* 105 */ {{L"?sidebarparts?"}, Id("A75D362E-50FC-4FB7-AC2C-A8BEAA314493"), Legacy::None, 0, nullptr},
    /* 106 */ {{L"?accountpictures?"}, Id("008CA0B1-55B4-4C56-B8A8-4DE4B299D3BE"), Legacy::None, 0, nullptr},
    /* 107 */ {{L"?applicationshortcuts?"},
               Id("A3918781-E5F2-4890-B3D9-A7E54332328C"), Legacy::None, 0, nullptr},
    /* 108 */ {{L"?screenshots?"}, Id("B7BEDE81-DF94-4682-A7D8-57A52620B86F"), Legacy::None, 0, nullptr},
    /* 109 */ {{L"?roamedtileimages?"}, Id("AAA8D5A5-F1D6-4259-BAA8-78E7EF60835E"), Legacy::None, 0, nullptr},
    /* 110 */ {{L"?roamingtiles?"}, Id("00BCFC5A-ED94-4E48-96A1-3F6217F21990"), Legacy::None, 0, nullptr},
    /* 111 */ {{L"?cameraroll?"}, Id("AB5FB87B-7CE2-4F83-915D-550846C9537B"), Legacy::None, 0, nullptr},
    /* 112 */ {{L"?searchhistory?"}, Id("0D4C3DB6-03A3-462F-A0E6-08924C41B5D4"), Legacy::None, 0, nullptr},
    /* 113 */ {{L"?searchtemplates?"}, Id("7E636BFE-DFA9-4D5E-B456-D7B39851D8A9"), Legacy::None, 0, nullptr},
    /* 114 */ {{L"?skydrive?"}, Id("A52BBA46-E9E1-435F-B3D9-28DAA648C0F6"), Legacy::None, 0, nullptr},
    /* 115 */ {{L"?skydrivecameraroll?"},
               Id("767E6811-49CB-4273-87C2-20F355E1085B"), Legacy::None, 0, nullptr},
    /* 116 */ {{L"?skydrivedocuments?"},
               Id("24D89E24-2F19-4534-9DDE-6A6671FBB8FE"), Legacy::None, 0, nullptr},
    /* 117 */ {{L"?skydrivepictures?"}, Id("339719B5-8C47-4894-94C2-D8F77ADD44A6"), Legacy::None, 0, nullptr},
    /* 118 */ {{L"?appdatadesktop?"}, Id("B2C5E279-7ADD-439F-B28C-C41FE1BBF672"), Legacy::None, 0, nullptr},
    /* 119 */ {{L"?appdatadocuments?"}, Id("7BE16610-1F7F-44AC-BFF0-83E15F2FFCA1"), Legacy::None, 0, nullptr},
    /* 120 */ {{L"?appdatafavorites?"}, Id("7CFBEFBC-DE1F-45AA-B843-A542AC536CC9"), Legacy::None, 0, nullptr},
    /* 121 */ {{L"?appdataprogramdata?"},
               Id("559D40A3-A036-40FA-AF61-84CB430A4D34"), Legacy::None, 0, nullptr},
    /* 122 */ {{L"?objects3d?"}, Id("31C0DD25-9439-4F12-BF41-7FF4EDA38722"), Legacy::None, 0, nullptr}};
// clang-format on

} // namespace

const SFolderTableEntry* GetFolderTableEntry(unsigned index) noexcept
{
    return index < kFolderIndexCount ? &FolderTable[index] : nullptr;
}

} // namespace S
