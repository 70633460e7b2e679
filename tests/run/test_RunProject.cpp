// The archive run without external programs: the command line built from a
// template, the run files, the up-to-date test, the archive files of a run
// and a whole run with the internal packer.
#include <set>

#include "pack/PackFile.h"
#include "test_RunFixture.h"
#include "util/Exception.h"

namespace hv {
namespace {

using test::RunTree;

const std::string kArj = "Arj u -i -a -v<VOLSIZE> -g<PASSWORD> <NOCOMPR> <ARCNAME>  !<LISTNAME> -y";

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

struct TemplateCase {
    const char* name;
    std::string templ{};
    int volumeSize = 0;
    uint8_t compressType = 2;
    std::string password{};
    // {A} archive, {L} list file, {O} output file; empty when an error is expected.
    std::string expected{};
    bool rebuild = false;
    std::string error{};
    std::string savePlace = "D:\\Arc";
    std::string arcName{};
    uint8_t arcType = 2;
};

class Template : public RunTree {};

TEST_F(Template, ExpandsOrRefuses) {
    const std::string tail = "\r\nв строке настройки архиватора"_a;
    // clang-format off
    const std::vector<TemplateCase> cases = {
        {.name = "ArjDefaultFourBlanks", .templ = kArj,
         .expected = "Arj u -i -a    {A}  !{L} -y >>{O}"},
        {.name = "VolumeSetsRebuild", .templ = kArj, .volumeSize = 1,
         .expected = "Arj u -i -a -v1456400   {A}  !{L} -y >>{O}", .rebuild = true},
        {.name = "NoCompression", .templ = kArj, .compressType = 1,
         .expected = "Arj u -i -a   -m0 {A}  !{L} -y >>{O}"},
        {.name = "PasswordAsStored", .templ = kArj, .password = " Pa55",
         .expected = "Arj u -i -a  -g Pa55  {A}  !{L} -y >>{O}"},
        {.name = "BlankPasswordIsNone", .templ = kArj, .password = "   ",
         .expected = "Arj u -i -a    {A}  !{L} -y >>{O}"},
        {.name = "LowerCaseKeepsText", .templ = "arj a <arcname> !<listName> -v<volsize>",
         .expected = "arj a {A} !{L}  >>{O}"},
        {.name = "FirstOccurrenceOnly", .templ = "x <ARCNAME> !<LISTNAME> <ARCNAME>",
         .error = "Обнаружен необработанный шаблон\r\n<ARCNAME>"_a + tail},
        {.name = "Vol50000IsNoLimit", .templ = kArj, .volumeSize = 50000,
         .expected = "Arj u -i -a    {A}  !{L} -y >>{O}"},
        {.name = "Vol50001InBytes", .templ = kArj, .volumeSize = 50001,
         .expected = "Arj u -i -a -v50001   {A}  !{L} -y >>{O}", .rebuild = true},
        {.name = "VolSizeAbsentNoLimit", .templ = "Arj a <ARCNAME> !<LISTNAME>",
         .expected = "Arj a {A} !{L} >>{O}"},
        {.name = "VolSizeAbsentWithLimit", .templ = "Arj a <ARCNAME> !<LISTNAME>", .volumeSize = 2,
         .error = "Нет шаблона размера блока \r\n<VOLSIZE>"_a + tail},
        {.name = "BadVolumeSize", .templ = kArj, .volumeSize = 5,
         .error = "Ошибка в размере тома архива: 5"_a},
        {.name = "NoArcName", .templ = "Arj a !<LISTNAME>",
         .error = "Нет шаблона имени файла архива \r\n<ARCNAME>"_a + tail},
        {.name = "NoListName", .templ = "Arj a <ARCNAME>",
         .error = "Нет шаблона файла-списка \r\n<LISTNAME>"_a + tail},
        {.name = "PasswordWithoutPlaceholder", .templ = "Arj a <ARCNAME> !<LISTNAME>",
         .password = "x", .error = "Нет шаблона пароля\r\n<PASSWORD>"_a + tail},
        {.name = "NocompShortFormRefused", .templ = "Arj a <NOCOMP> <ARCNAME> !<LISTNAME>",
         .error = "Обнаружен необработанный шаблон\r\n<NOCOMP>"_a + tail},
        {.name = "LessThanInPassword", .templ = "Arj a -g<PASSWORD> <ARCNAME> !<LISTNAME>",
         .password = "a<b", .error = "Обнаружен необработанный шаблон\r\n<b {A} !{L}"_a + tail},
        {.name = "LessThanInPath", .templ = "Arj a <ARCNAME> !<LISTNAME>",
         .error = "Обнаружен необработанный шаблон\r\n<1>"_a + tail, .savePlace = "D:\\A<1>"},
        {.name = "BlankInPathQuoted", .templ = "Arj a <ARCNAME> !<LISTNAME>",
         .expected = "Arj a \"D:\\My Arc\\P.ARJ\" !{L} >>{O}", .savePlace = "D:\\My Arc"},
        {.name = "StarStemTakesProjectStem", .templ = "Arj a <ARCNAME> !<LISTNAME>",
         .expected = "Arj a D:\\Arc\\P.ARJ !{L} >>{O}", .arcName = "*.ARJ"},
        {.name = "NoExtensionTakesArchiver", .templ = "Rar a <ARCNAME> @<LISTNAME>",
         .expected = "Rar a D:\\Arc\\Backup.RAR @{L} >>{O}", .arcName = "Backup", .arcType = 4},
        {.name = "HlaExtensionReplaced", .templ = "Arj a <ARCNAME> !<LISTNAME>",
         .expected = "Arj a D:\\Arc\\Backup.ARJ !{L} >>{O}", .arcName = "Backup.hla"},
        {.name = "StemEndsAtFirstDot", .templ = "Arj a <ARCNAME> !<LISTNAME>",
         .expected = "Arj a D:\\Arc\\a.ZIP !{L} >>{O}", .arcName = "a.b.ZIP"},
        {.name = "SelfExtractor", .templ = "Arj a <ARCNAME> !<LISTNAME>", .compressType = 3,
         .expected = "Arj a D:\\Arc\\P.EXE !{L} >>{O}"},
    };
    // clang-format on
    // The run files lie in a directory without blanks here.
    const std::string list = THL_HalvoraProject::ListFileName();
    const std::string out = THL_HalvoraProject::OutputFileName();
    ASSERT_EQ(list.find(' '), std::string::npos);
    for (const TemplateCase& c : cases) {
        SCOPED_TRACE(c.name);
        THL_HalvoraProject p;
        p.FileName = "D:\\Projects\\P.hlj";
        p.SavePlaces().Add(c.savePlace);
        p.ArcType = c.arcType;
        p.CompressType = c.compressType;
        p.SetArcName(c.arcName);
        p.SetVolumeSize(c.volumeSize);
        p.ArcPS = c.password;
        p.NoComprOption = "-m0";
        p.Template = c.templ;
        const std::string arc = p.GetArcFileName();
        auto fill = [&](std::string s) {
            return Replace(Replace(Replace(s, "{A}", arc), "{L}", list), "{O}", out);
        };
        if (c.error.empty()) {
            EXPECT_EQ(p.ExpandTemplate(), fill(c.expected));
            EXPECT_EQ(p.Rebuild, c.rebuild);
        } else {
            try {
                p.ExpandTemplate();
                ADD_FAILURE() << "no error";
            } catch (const Exception& e) {
                EXPECT_EQ(std::string(e.what()), fill(c.error));
            }
        }
    }
}

// ---- run files ------------------------------------------------------------------

class RunFiles : public RunTree {};

TEST_F(RunFiles, OutputHeaderBlocksAppendInOem) {
    const std::string rule(68, '-');
    const std::string out = THL_HalvoraProject::OutputFileName();
    const std::string arc = "D:\\Архив\\Docs.ARJ"_a;
    const std::string longArc = "D:\\" + std::string(80, 'x') + ".ARJ";
    THL_HalvoraProject::WriteOutputHeader(out, arc);
    THL_HalvoraProject::WriteOutputHeader(out, longArc);
    // 70 - 23 = 47 blanks: 24 on the left.
    const std::string title = std::string(24, ' ') + "Halvora DOS output file\r\n";
    const std::string arcLine = std::string((70 - arc.size() + 1) / 2, ' ') + arc + "\r\n";
    const std::string expected = rule + "\r\n" + title + arcLine + rule + "\r\n" + "\r\n" + rule +
                                 "\r\n" + title + longArc + "\r\n" + rule + "\r\n";
    EXPECT_EQ(ReadFile(Posix(out)), AnsiToOem(expected));
}

TEST_F(RunFiles, UpToDateTestComparesWithArchiveStamp) {
    auto p = NewProject("Docs", 2);
    OldFile("d/Work/a.txt");
    OldFile("d/Work/sub/b.txt");
    const std::string arc = p->GetArcFileName();
    EXPECT_TRUE(p->IsArchiveOutdated()) << "no archive yet";
    CreateFile("d/Arc/Docs.ARJ", "arj");
    const int32_t old = EncodeDosDateTime({2020, 5, 17, 10, 30, 0});
    ASSERT_TRUE(SetFileDate(arc, EncodeDosDateTime({2021, 1, 1, 0, 0, 0})));
    bool reported = false;
    p->OnFile = [&](const std::string&, FindData&, bool&) { reported = true; };
    p->Stop = true;
    EXPECT_FALSE(p->IsArchiveOutdated());
    EXPECT_TRUE(p->Stop) << "the caller's stop flag is put back";
    EXPECT_FALSE(p->Running);
    FindData entry;
    p->OnFile(std::string(), entry, p->Stop);
    EXPECT_TRUE(reported) << "the caller's OnFile is put back";

    p->Stop = false;
    ASSERT_TRUE(SetFileDate(arc, old));  // the same two-second step counts as newer
    EXPECT_TRUE(p->IsArchiveOutdated());
    ASSERT_TRUE(SetFileDate(arc, EncodeDosDateTime({2021, 1, 1, 0, 0, 0})));
    p->Rebuild = true;
    EXPECT_TRUE(p->IsArchiveOutdated());
}

TEST_F(RunFiles, DosNamesAreShortRelativeAndOem) {
    auto p = NewProject("Docs", 2);
    CreateFile("d/Work/Long Folder Name/file one.txt");
    CreateFile("d/Work/Документы/отчёт.txt");
    CreateFile("d/Work/short.txt");
    const std::string cwd = GetCurrentDir();
    ASSERT_TRUE(SetCurrentDir("D:\\Work"));
    FindData none;
    p->AddDosName("Long Folder Name\\file one.txt", none);
    p->AddDosName("short.txt", none);
    p->AddDosName("Документы\\отчёт.txt"_a, none);
    p->AddDosName("D:\\Work\\short.txt", none);  // a name with a drive stays whole
    ASSERT_EQ(p->Lines().Count(), 4);
    EXPECT_EQ(p->Lines()[0], "LONGFO~1\\FILEON~1.TXT");
    EXPECT_EQ(p->Lines()[1], "short.txt");
    // The OEM line names the Cyrillic file again, relative to Dir.
    EXPECT_EQ(GetLongPathName(OemToAnsi(p->Lines()[2])), "D:\\Work\\Документы\\отчёт.txt"_a);
    EXPECT_EQ(p->Lines()[3], "D:\\Work\\short.txt");
    try {
        p->AddDosName("missing.txt", none);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Ошибка DOS пути файла missing.txt\r\n"_a, 0), 0u);
    }
    ASSERT_TRUE(SetCurrentDir(cwd));
}

std::set<std::string> Names(const TStringList& list) {
    std::set<std::string> s;
    for (int i = 0; i < list.Count(); ++i) s.insert(ExtractFileName(list[i]));
    return s;
}

TEST_F(RunFiles, ArchiveFilesByDecadesRecordedInProjectFile) {
    auto p = NewProject("Docs", 2);
    for (const char* f : {"Docs.ARJ", "Docs.A00", "Docs.A01", "Docs.A10", "Docs.A12", "Docs.A30",
                          "Other.ARJ", "DocsX.A00"})
        CreateFile(std::string("d/Arc/") + f);
    p->CollectArchiveFiles();
    const std::set<std::string> want{"Docs.ARJ", "Docs.A00", "Docs.A01", "Docs.A10", "Docs.A12"};
    EXPECT_EQ(Names(p->ArcFiles()), want);
    THL_HalvoraProject reloaded;
    reloaded.FileName = p->FileName;
    reloaded.LoadFromFile();
    EXPECT_EQ(Names(reloaded.ArcFiles()), want);
}

TEST_F(RunFiles, OldArchiveFilesDeletedOnlyWhenTheyCarryTheStem) {
    auto p = NewProject("Docs", 2);
    for (const char* f : {"Arc/Docs.ARJ", "Arc/Docs.A00", "Arc/Docs.A01", "Arc/Docs.OLD",
                          "Arc/Foreign.ARJ", "Arc/DocsX.ARJ", "Other/Docs.ARJ"})
        CreateFile(std::string("d/") + f);
    // A list copied from another project names files that are not ours.
    for (const char* f : {"D:\\Arc\\Docs.OLD", "D:\\Arc\\Foreign.ARJ", "D:\\Arc\\DocsX.ARJ",
                          "D:\\Other\\Docs.ARJ", "D:\\Arc\\Docs*.*"})
        p->ArcFiles().Add(f);
    p->DeleteOldArchiveFiles();
    for (const char* gone : {"Arc/Docs.ARJ", "Arc/Docs.A00", "Arc/Docs.A01", "Arc/Docs.OLD"})
        EXPECT_FALSE(Exists(Root() + "/d/" + gone)) << gone;
    for (const char* kept : {"Arc/Foreign.ARJ", "Arc/DocsX.ARJ", "Other/Docs.ARJ"})
        EXPECT_TRUE(Exists(Root() + "/d/" + kept)) << kept;
}

// ---- whole runs without an external program ---------------------------------------

class InternalRun : public RunTree {};

std::set<std::string> Members(const std::string& archive) {
    TPackFileObject pack;
    pack.SetArchiveName(archive);
    std::set<std::string> names;
    for (pack.ReadFirst(); !pack.EndOfArchive(); pack.ReadNext()) names.insert(pack.MemberName());
    return names;
}

TEST_F(InternalRun, BuildsHlaSkipsWhenUpToDateRebuildsWhenTouched) {
    OldFile("d/Work/a.txt");
    OldFile("d/Work/sub/b.txt");
    CreateDir("d/Work/Arc");
    // A relative first place lies below Dir; the archive there is never archived.
    auto p = NewProject("Docs", 1, [](THL_HalvoraProject& p) { p.SavePlaces().Put(0, "Arc"); });
    int starts = 0, done = 0;
    p->OnArchiverStart = [&](THL_HalvoraProject&) { ++starts; };
    p->OnArchiveDone = [&](THL_HalvoraProject&) { ++done; };
    const std::string cwd = GetCurrentDir();
    p->MakeArchive();
    EXPECT_EQ(GetCurrentDir(), cwd);
    EXPECT_FALSE(p->Running);
    EXPECT_EQ(p->PackFile, nullptr);
    EXPECT_EQ(p->SavePlaces()[0], "Arc") << "the place as written stays";
    const std::string arc = "D:\\Work\\Arc\\Docs.hla";
    ASSERT_TRUE(FileExists(arc));
    EXPECT_EQ(Members(arc), (std::set<std::string>{"D:\\Work\\a.txt", "D:\\Work\\sub\\b.txt"}));
    {
        TPackFileObject pack;
        pack.SetArchiveName(arc);
        pack.ReadFirst();
        EXPECT_EQ(pack.ArchiveHeader().Comment, "Файл проекта \"HALVORA\""_a);
    }
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(done, 1);

    THL_HalvoraProject reloaded;
    reloaded.FileName = p->FileName;
    reloaded.LoadFromFile();
    EXPECT_EQ(Names(reloaded.ArcFiles()), std::set<std::string>{"Docs.hla"});
    EXPECT_EQ(reloaded.SavePlaces()[0], "Arc");

    ASSERT_TRUE(SetFileDate(arc, EncodeDosDateTime({2022, 1, 1, 0, 0, 0})));
    p->MakeArchive();
    EXPECT_EQ(starts, 1) << "up to date: nothing built";

    OldFile("d/Work/c.txt");
    ASSERT_TRUE(SetFileDate("D:\\Work\\c.txt", EncodeDosDateTime({2023, 1, 1, 0, 0, 0})));
    p->MakeArchive();
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(Members(arc).size(), 3u);
}

TEST_F(InternalRun, RefusalsBuildNothing) {
    OldFile("d/Work/a.txt");
    struct Row {
        const char* name;
        uint8_t arcType;
        bool noPlace;
        std::string error;
        std::string arcName;
    };
    const std::vector<Row> rows = {
        {"Undefined", 0, false, "THL_Project: Пока не реализовано"_a, "Undef.ARJ"},
        {"Unknown", 9, false, "Неизвесный тип архиватора"_a, ""},
        {"NoStoragePlace", 2, true, "Не определены пути сохранения"_a, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto p = NewProject(r.name, r.arcType, [&](THL_HalvoraProject& p) {
            if (r.noPlace) p.SavePlaces().Clear();
            p.SetArcName(r.arcName);
        });
        const std::string cwd = GetCurrentDir();
        try {
            p->MakeArchive();
            ADD_FAILURE() << "no error";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), r.error);
        }
        EXPECT_EQ(GetCurrentDir(), cwd);
        EXPECT_FALSE(p->Running);
        EXPECT_FALSE(Exists(RunFile(".BAT")));
    }
}

TEST_F(InternalRun, TemplateErrorLeavesOnlyTheOutputHeader) {
    OldFile("d/Work/a.txt");
    auto p = NewProject("Docs", 2);
    p->Template = "Arj a <ARCNAME>";
    EXPECT_THROW(p->MakeArchive(), Exception);
    EXPECT_FALSE(Exists(RunFile(".BAT")));
    EXPECT_FALSE(Exists(RunFile(".INC")));
    EXPECT_NE(ReadFile(RunFile(".OUT")).find("Halvora DOS output file"), std::string::npos);
    EXPECT_EQ(p->Lines().Count(), 0);
    EXPECT_FALSE(Exists(Root() + "/d/Arc/Docs.ARJ"));
}

TEST_F(InternalRun, BlankPreBatchStartsNothing) {
    workdirs::SetDebugMode(true);  // a batch that was written would stay
    OldFile("d/Work/a.txt");
    CreateDir("d/Arc");
    auto p = NewProject("Docs", 1, [](THL_HalvoraProject& p) {
        p.PreBatch().Add("");
        p.PreBatch().Add("  \t ");
    });
    p->MakeArchive();
    EXPECT_FALSE(Exists(RunFile(".BAT")));
    EXPECT_TRUE(Exists(Root() + "/d/Arc/Docs.hla"));
}

}  // namespace
}  // namespace hv
