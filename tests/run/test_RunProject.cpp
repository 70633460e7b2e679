// The archive run without external programs: the command line built from a
// template, the run files, the up-to-date test, the archive files of a run
// and whole runs with the internal packer: names relative to Dir, files that
// fight back, refusals.
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "pack/test_PackFileUtil.h"
#include "support/ProjectTrees.h"
#include "util/Exception.h"

namespace hv {
namespace {

namespace fs = std::filesystem;
using test::ErrorOf;
using test::RunTree;

const std::string kArj = "Arj u -i -a -v<VOLSIZE> -g<PASSWORD> <NOCOMPR> <ARCNAME>  !<LISTNAME> -y";

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

using Template = RunTree;

TEST_F(Template, ExpandsOrRefuses) {
    const std::string tail = "\r\nв строке настройки архиватора"_a;
    struct Row {
        const char* name;
        std::string templ;
        // The command ({A} archive, {L} list file, {O} output file) or the error.
        std::string result;
        int volumeSize = 0;
        uint8_t compressType = 2;
        std::string password{};
        bool rebuild = false;
        std::string savePlace = "D:\\Arc";
    };
    const std::string plain = "Arj a <ARCNAME> !<LISTNAME>";
    const std::string unknown = "Обнаружен необработанный шаблон\r\n"_a;
    // clang-format off
    const Row rows[] = {
        {"ArjDefaultFourBlanks", kArj, "Arj u -i -a    {A}  !{L} -y >>{O}"},
        {"VolumeSetsRebuild", kArj, "Arj u -i -a -v1456400   {A}  !{L} -y >>{O}", 1, 2, "", true},
        {"NoCompression", kArj, "Arj u -i -a   -m0 {A}  !{L} -y >>{O}", 0, 1},
        {"PasswordAsStored", kArj, "Arj u -i -a  -g Pa55  {A}  !{L} -y >>{O}", 0, 2, " Pa55"},
        {"BlankPasswordIsNone", kArj, "Arj u -i -a    {A}  !{L} -y >>{O}", 0, 2, "   "},
        {"LowerCaseKeepsText", "arj a <arcname> !<listName> -v<volsize>", "arj a {A} !{L}  >>{O}"},
        {"FirstOccurrenceOnly", "x <ARCNAME> !<LISTNAME> <ARCNAME>", unknown + "<ARCNAME>" + tail},
        {"Vol50001InBytes", kArj, "Arj u -i -a -v50001   {A}  !{L} -y >>{O}", 50001, 2, "", true},
        {"VolSizeAbsentNoLimit", plain, "Arj a {A} !{L} >>{O}"},
        {"VolSizeAbsentWithLimit", plain, "Нет шаблона размера блока \r\n<VOLSIZE>"_a + tail, 2},
        {"NoArcName", "Arj a !<LISTNAME>", "Нет шаблона имени файла архива \r\n<ARCNAME>"_a + tail},
        {"NoListName", "Arj a <ARCNAME>", "Нет шаблона файла-списка \r\n<LISTNAME>"_a + tail},
        {"PasswordWithoutPlaceholder", plain, "Нет шаблона пароля\r\n<PASSWORD>"_a + tail, 0, 2,
         "x"},
        {"NocompShortFormRefused", "Arj a <NOCOMP> <ARCNAME> !<LISTNAME>",
         unknown + "<NOCOMP>" + tail},
        {"LessThanInPassword", "Arj a -g<PASSWORD> <ARCNAME> !<LISTNAME>",
         unknown + "<b {A} !{L}" + tail, 0, 2, "a<b"},
        {"LessThanInPath", plain, unknown + "<1>" + tail, 0, 2, "", false, "D:\\A<1>"},
        {"BlankInPathQuoted", plain, "Arj a \"D:\\My Arc\\P.ARJ\" !{L} >>{O}", 0, 2, "", false,
         "D:\\My Arc"},
    };
    // clang-format on
    // The run files lie in a directory without blanks here.
    const std::string list = THL_HalvoraProject::ListFileName();
    const std::string out = THL_HalvoraProject::OutputFileName();
    ASSERT_EQ(list.find(' '), std::string::npos);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        THL_HalvoraProject p;
        p.FileName = "D:\\Projects\\P.hlj";
        p.SavePlaces().Add(r.savePlace);
        p.ArcType = 2;
        p.CompressType = r.compressType;
        p.SetVolumeSize(r.volumeSize);
        p.ArcPS = r.password;
        p.NoComprOption = "-m0";
        p.Template = r.templ;
        const std::string arc = p.GetArcFileName();
        std::string result;
        try {
            result = p.ExpandTemplate();
            EXPECT_EQ(p.Rebuild, r.rebuild);
        } catch (const Exception& e) {
            result = e.what();
        }
        EXPECT_EQ(result, Replace(Replace(Replace(r.result, "{A}", arc), "{L}", list), "{O}", out));
    }
}

// ---- run files ------------------------------------------------------------------

using RunFiles = RunTree;

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

// Short names relative to Dir are the ZIP run's test; a name outside Dir, and
// one that is gone, are not.
TEST_F(RunFiles, DosNamesOutsideDirStayWholeAndMissingOnesAreErrors) {
    auto p = NewProject("Docs", 2);
    CreateFile("d/Work/short.txt");
    CurrentDirGuard cwd;
    ASSERT_TRUE(SetCurrentDir("D:\\Work"));
    FindData none;
    p->AddDosName("D:\\Work\\short.txt", none);
    ASSERT_EQ(p->Lines().Count(), 1);
    EXPECT_EQ(p->Lines()[0], "D:\\Work\\short.txt");
    EXPECT_EQ(ErrorOf([&] {
                  p->AddDosName("missing.txt", none);
              }).rfind("Ошибка DOS пути файла missing.txt\r\n"_a, 0),
              0u);
}

std::set<std::string> Names(const TStringList& list) {
    std::set<std::string> s;
    for (int i = 0; i < list.Count(); ++i) s.insert(ExtractFileName(list[i]));
    return s;
}

// The archive files of a run are recorded in the project file, volumes by
// decades; old ones are deleted only when they carry the project's stem.
TEST_F(RunFiles, ArchiveFilesRecordedAndDeleted) {
    auto p = NewProject("Docs", 2);
    for (const char* f : {"Arc/Docs.ARJ", "Arc/Docs.A00", "Arc/Docs.A01", "Arc/Docs.A10",
                          "Arc/Docs.A12", "Arc/Docs.A30", "Arc/Other.ARJ", "Arc/DocsX.A00",
                          "Arc/Docs.OLD", "Arc/Foreign.ARJ", "Arc/DocsX.ARJ", "Other/Docs.ARJ"})
        CreateFile(std::string("d/") + f);
    p->CollectArchiveFiles();
    const std::set<std::string> want{"Docs.ARJ", "Docs.A00", "Docs.A01", "Docs.A10", "Docs.A12"};
    EXPECT_EQ(Names(p->ArcFiles()), want);
    THL_HalvoraProject reloaded;
    reloaded.FileName = p->FileName;
    reloaded.LoadFromFile();
    EXPECT_EQ(Names(reloaded.ArcFiles()), want);

    // A list copied from another project names files that are not ours.
    for (const char* f : {"D:\\Arc\\Docs.OLD", "D:\\Arc\\Foreign.ARJ", "D:\\Arc\\DocsX.ARJ",
                          "D:\\Other\\Docs.ARJ", "D:\\Arc\\Docs*.*"})
        p->ArcFiles().Add(f);
    p->DeleteOldArchiveFiles();
    for (const char* gone : {"Docs.ARJ", "Docs.A00", "Docs.A01", "Docs.A12", "Docs.OLD"})
        EXPECT_FALSE(Exists(Root() + "/d/Arc/" + gone)) << gone;
    for (const char* kept : {"Arc/Foreign.ARJ", "Arc/DocsX.ARJ", "Arc/DocsX.A00", "Other/Docs.ARJ"})
        EXPECT_TRUE(Exists(Root() + "/d/" + kept)) << kept;
}

// ---- whole runs without an external program ---------------------------------------

using InternalRun = RunTree;

using test::ListMembers;
std::vector<std::string> MemberNames(const std::string& archive) {
    return test::Names(ListMembers(archive));
}

TEST_F(InternalRun, BuildsHlaInARelativePlaceBelowDir) {
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
    EXPECT_EQ(MemberNames(arc), (std::vector<std::string>{"a.txt", "sub\\b.txt"}));
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
}

// A run that cannot be made, or has nothing to archive, is an error before
// anything is built, never an "up to date" archive; Dir and a build place that
// are gone are the end-to-end runs' test. A template that cannot be expanded
// leaves the output header alone.
TEST_F(InternalRun, RefusalsBuildNothing) {
    struct Row {
        const char* name;
        uint8_t arcType;
        std::function<void(THL_HalvoraProject&)> edit;
        bool oldArchive;  // a good archive from an earlier run lies in D:\Arc
        std::string error;
        bool header = false;  // the output file holds the header block only
    };
    const std::vector<Row> rows = {
        {"Undefined", 0, [](THL_HalvoraProject& p) { p.SetArcName("Undefined.ARJ"); }, false,
         "THL_Project: Пока не реализовано"_a},
        {"Unknown", 9, nullptr, false, "Неизвесный тип архиватора"_a},
        {"NoStoragePlace", 2, [](THL_HalvoraProject& p) { p.SavePlaces().Clear(); }, false,
         "Не определены пути сохранения"_a},
        {"DirNotSet", 1, [](THL_HalvoraProject& p) { p.SetRootDir(""); }, false,
         "Не указан корневой каталог проекта"_a},
        {"DirEmptyAfterAGoodRun", 2, [](THL_HalvoraProject& p) { p.SetRootDir("D:\\Empty"); }, true,
         "Проект не выбрал ни одного файла для архивации в D:\\Empty"_a},
        {"DirEmptyOwnFormat", 1, [](THL_HalvoraProject& p) { p.SetRootDir("D:\\Empty"); }, false,
         "Проект не выбрал ни одного файла для архивации в D:\\Empty"_a},
        {"TemplateError", 2, [](THL_HalvoraProject& p) { p.Template = "Arj a <ARCNAME>"; }, false,
         "Нет шаблона файла-списка \r\n<LISTNAME>\r\nв строке настройки архиватора"_a, true},
    };
    CreateDir("d/Empty");
    OldFile("d/Work/a.txt");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CreateDir("d/Arc");
        if (r.oldArchive) CreateFile("d/Arc/" + std::string(r.name) + ".ARJ", "old");
        auto p = NewProject(r.name, r.arcType, r.edit);
        const std::string cwd = GetCurrentDir();
        EXPECT_EQ(ErrorOf([&] { p->MakeArchive(); }), r.error);
        EXPECT_EQ(GetCurrentDir(), cwd);
        EXPECT_FALSE(p->Running);
        EXPECT_FALSE(Exists(RunFile(".BAT")));
        EXPECT_FALSE(Exists(RunFile(".INC")));
        EXPECT_EQ(p->Lines().Count(), 0);
        EXPECT_EQ(Exists(Root() + "/d/Arc/" + r.name + ".ARJ"), r.oldArchive);
        EXPECT_FALSE(Exists(Root() + "/d/Arc/" + r.name + ".hla"));
        const std::string out = ReadFile(RunFile(".OUT"));
        EXPECT_EQ(out.find("Halvora DOS output file") != std::string::npos, r.header) << out;
    }
}

// A storage-place count larger than the places listed once copied the archive
// into the source tree (an empty place completes to Dir itself).
TEST_F(InternalRun, EmptyStoragePlacesAreDroppedWithAWarning) {
    auto p = NewProject("Blank", 1);
    std::string text = ReadFile(Posix(p->FileName));
    text = Replace(text, "S.Count=1", "S.Count=3");
    test::WritePosixFile(Posix(p->FileName), text);
    THL_HalvoraProject q;
    q.FileName = p->FileName;
    q.OnMessage = [this](const std::string& t, bool&) { warnings_.push_back(t); };
    q.LoadFromFile();
    EXPECT_EQ(q.SavePlaces().Count(), 1);
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_NE(warnings_[0].find("Пропущено пустое место хранения"_a), std::string::npos);
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

// Members once carried the drive and Dir ("D:\Work\Sub\b.txt"), so a moved Dir
// duplicated every one. They are named relative to Dir now, files outside it
// by their full names; an archive made the old way is taken over: its members
// are renamed, none doubled, none lost, the unchanged ones not packed again.
TEST_F(InternalRun, StoredNamesAreRelativeToDir) {
    OldFile("d/Work/a.txt", "alpha");
    OldFile("d/Work/Sub/b.txt", "beta");
    OldFile("d/Other/c.txt", "gamma");
    CreateDir("d/Arc");
    auto p = NewProject("Docs", 1, [](THL_HalvoraProject& p) { p.AddDirectory("D:\\Other"); });
    p->MakeArchive();
    const std::string arc = "D:\\Arc\\Docs.hla";
    EXPECT_EQ(MemberNames(arc),
              (std::vector<std::string>{"a.txt", "Sub\\b.txt", "D:\\Other\\c.txt"}));

    // The same files as a run before relative names stored them.
    fs::remove(Posix(arc));
    {
        CurrentDirGuard cwd;
        SetCurrentDir("D:\\Work");
        TPackFileObject old;
        old.SetArchiveName(arc);
        old.KeepDrive = true;
        for (const char* f : {"a.txt", "Sub\\b.txt", "D:\\Other\\c.txt"})
            ASSERT_EQ(test::Run(old, kArcOpUpdate, f), 0);
    }
    const auto before = ListMembers(arc);
    ASSERT_EQ(MemberNames(arc), (std::vector<std::string>{"D:\\Work\\a.txt", "D:\\Work\\Sub\\b.txt",
                                                          "D:\\Other\\c.txt"}));
    test::WritePosixFile(Posix("D:\\Work\\Sub\\b.txt"), "beta, changed");
    p->MakeArchive();
    const auto after = ListMembers(arc);
    ASSERT_EQ(MemberNames(arc),
              (std::vector<std::string>{"a.txt", "Sub\\b.txt", "D:\\Other\\c.txt"}));
    // a.txt: the same data under its new name.
    EXPECT_EQ(after[0].raw.substr(after[0].raw.size() - 5), "alpha");
    EXPECT_EQ(after[0].raw.size(), before[0].raw.size() - std::string("D:\\Work\\").size());
    EXPECT_EQ(after[2].raw, before[2].raw);
    // The next run has nothing to change.
    const std::string bytes = ReadFile(Posix(arc));
    p->MakeArchive();
    EXPECT_TRUE(ReadFile(Posix(arc)) == bytes);
}

// A file that vanishes after the scan and one whose name 1251 cannot hold no
// longer end the run: each is named (warning, output file, Skipped), the
// member the vanished one had stays, the rest is archived.
TEST_F(InternalRun, FilesThatCannotBeTakenAreNamedAndTheRunGoesOn) {
    OldFile("d/Work/a_gone.txt", "first version");
    OldFile("d/Work/b.txt", "beta");
    CreateDir("d/Arc");
    auto p = NewProject("Gone", 1);
    p->MakeArchive();
    const std::string arc = "D:\\Arc\\Gone.hla";
    const auto before = ListMembers(arc);
    ASSERT_EQ(before.size(), 2u);

    test::WritePosixFile(Posix("D:\\Work\\a_gone.txt"), "second version");
    CreateFile("d/Work/c.txt", "new");
    CreateFile("d/Work/日本.txt", "kanji");
    // Reported by the scan, gone before the archive is written.
    p->OnFile = [&](const std::string& name, FindData&, bool&) {
        if (name == "b.txt") fs::remove(Posix("D:\\Work\\a_gone.txt"));
    };
    warnings_.clear();
    p->MakeArchive();
    std::map<std::string, std::string> skipped;
    for (const auto& s : p->Skipped()) skipped[s.name] = s.reason;
    EXPECT_EQ(skipped, (std::map<std::string, std::string>{
                           {"a_gone.txt", "файл исчез"_a},
                           {"??.txt", "имя не представимо в кодировке 1251"_a}}));
    const auto after = ListMembers(arc);
    ASSERT_EQ(MemberNames(arc), (std::vector<std::string>{"a_gone.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(after[0].raw, before[0].raw);
    EXPECT_EQ(warnings_.size(), 2u);
    const std::string out = OemToAnsi(ReadFile(RunFile(".OUT")));
    EXPECT_NE(out.find("Пропущен файл a_gone.txt: файл исчез"_a), std::string::npos) << out;
}

}  // namespace
}  // namespace hv
