// The archive run without external programs: the command line built from a
// template, the run files, the up-to-date test, the archive files of a run
// and whole runs with the internal packer: names relative to Dir, files that
// fight back, refusals. Distribution of the archive to the storage places:
// D: is the working drive, A: the diskette, \\srv\share a network place that a
// private mount table mounts (or not).
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

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

// ---- distribution ------------------------------------------------------------------

using namespace std::string_literals;
using Strings = std::vector<std::string>;

const Strings kArchiveFiles = {"BACKUP.ARJ", "BACKUP.A01", "BACKUP.EXE"};

class CopyTest : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        // No share is mounted unless a test says so.
        mounts_ = CreateFile("mounts", "");
        SetMountTablePath(mounts_);
        Init(prj);
        CreateFile("d/Work/src.txt", "source");
        CreateFile("d/Save/BACKUP.ARJ", "archive body");
        CreateFile("d/Save/BACKUP.A01", std::string(10000, 'v'));
        CreateFile("d/Save/BACKUP.EXE", "older self-extractor");
        CreateFile("d/Save/OTHER.ARJ", "not ours");
        CreateFile("d/Save/BACKUPX.ARJ", "not ours either");
        // Every copy event, as "before 1 BACKUP.ARJ", "after 4 BACKUP.A01" ...
        prj.OnBeforeCopy = [this](auto&, const std::string& s, auto&, int count, int,
                                  uint8_t& code) {
            events.push_back("before " + std::to_string(code) + " " + ExtractFileName(s));
            counts.push_back(count);
        };
    }
    void TearDown() override {
        SetMountTablePath("");
        TempTree::TearDown();
    }

    // Over D:\Work, BACKUP.ARJ built in D:\Save.
    static void Init(THL_HalvoraProject& p) {
        p.SetRootDir("D:\\Work");
        p.ArcType = 2;
        p.SetArcName("BACKUP.ARJ");
        p.SavePlaces().Add("D:\\Save");
    }
    // Makes D:\<dir> and adds it as a place.
    void AddPlace(const std::string& dir) {
        CreateDir("d/" + dir);
        prj.SavePlaces().Add("D:\\" + dir);
    }
    // How many of the archive files lie in a directory below the root.
    size_t CopiesIn(const std::string& rel) {
        return std::count_if(kArchiveFiles.begin(), kArchiveFiles.end(),
                             [&](const std::string& f) { return Exists(Root() + "/" + rel + f); });
    }
    Strings Warnings() const {
        Strings out;
        for (const auto& r : responder.RequestsOf("ShowInfo")) out.push_back(r.message);
        return out;
    }

    ScriptedResponder responder;
    THL_HalvoraProject prj;
    Strings events;
    std::vector<int> counts;
    std::string mounts_;
};

TEST_F(CopyTest, LocalPlacesAndNetworkPlacesMountedOrNot) {
    AddPlace("Copy1");
    CreateDir("d/Copy2");
    prj.SavePlaces().Add("\\\\srv\\share\\arc");
    prj.SavePlaces().Add("  D:\\Copy2\\  ");
    prj.CopyToSavePlaces(true);
    for (const char* place : {"d/Copy1/", "d/Copy2/"}) {
        for (const std::string& f : kArchiveFiles) {
            const std::string copy = Root() + "/" + place + f;
            ASSERT_TRUE(Exists(copy)) << copy;
            EXPECT_EQ(ReadFile(copy), ReadFile(Root() + "/d/Save/" + f));
            EXPECT_EQ(FileAge(std::string("D:\\") + (place + 2) + f), FileAge("D:\\Save\\" + f));
        }
        EXPECT_FALSE(Exists(Root() + "/" + place + "OTHER.ARJ"));
        EXPECT_FALSE(Exists(Root() + "/" + place + "BACKUPX.ARJ"));
    }
    // One warning per file of the unreachable network place, the others served all the same.
    Strings w = Warnings();
    ASSERT_EQ(w.size(), 3u);
    for (const std::string& text : w) {
        EXPECT_EQ(text.rfind("Не достепен сетевой путь: \\\\srv\\share\\arc\\BACKUP."_a, 0), 0u)
            << text;
    }
    for (int c : counts) EXPECT_EQ(c, 3);

    // Without the network the share is passed over in silence.
    responder.Clear();
    DeleteFile("D:\\Copy1\\BACKUP.ARJ");
    prj.CopyToSavePlaces(false);
    EXPECT_TRUE(Warnings().empty());
    EXPECT_TRUE(Exists(Root() + "/d/Copy1/BACKUP.ARJ"));

    // A mounted share is served only when asked.
    CreateDir("net/arc");
    test::WritePosixFile(mounts_, "//srv/share " + Root() + "/net cifs rw 0 0\n");
    prj.CopyToSavePlaces(false);
    EXPECT_EQ(CopiesIn("net/arc/"), 0u);
    prj.CopyToSavePlaces(true);
    EXPECT_EQ(ReadFile(Root() + "/net/arc/BACKUP.ARJ"), "archive body");
    EXPECT_TRUE(Warnings().empty());
}

// The build place alone copies nothing; a second distribution neither.
TEST_F(CopyTest, SecondDistributionCopiesNothingButDiskettesAlwaysCopy) {
    prj.CopyToSavePlaces(true);
    EXPECT_TRUE(events.empty());
    AddPlace("Copy1");
    prj.SavePlaces().Add("A:\\");
    prj.CopyToSavePlaces(true);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_FALSE(Exists(Root() + "/a/BACKUP.ARJ"));  // diskettes wait for their own command
    events.clear();
    prj.CopyToSavePlaces(true);
    EXPECT_TRUE(events.empty());

    for (int round = 0; round < 2; ++round) {
        events.clear();
        prj.CopyToDiskettes();
        EXPECT_EQ(events.size(), 3u) << "round " << round;
        for (const std::string& f : kArchiveFiles)
            EXPECT_EQ(ReadFile(Root() + "/a/" + f), ReadFile(Root() + "/d/Save/" + f));
    }
    EXPECT_FALSE(Exists(Root() + "/d/Copy1/OTHER.ARJ"));
}

// The copy test once compared date stamps only: an archive rebuilt within the
// same two-second step stayed stale in every storage place.
TEST_F(CopyTest, ArchiveRebuiltWithinOneDateStepIsCopiedAgain) {
    AddPlace("Copy");
    prj.CopyToSavePlaces(false);
    const std::string src = Root() + "/d/Save/BACKUP.ARJ", dst = Root() + "/d/Copy/BACKUP.ARJ";
    ASSERT_EQ(ReadFile(dst), "archive body");
    // Same size, same date stamp, a little later by the file system's own time.
    struct stat st {};
    ASSERT_EQ(stat(dst.c_str(), &st), 0);
    test::WritePosixFile(src, "ARCHIVE BODY");
    timespec later[2] = {st.st_mtim, st.st_mtim};
    later[1].tv_nsec = (later[1].tv_nsec + 500000000) % 1000000000;
    if (later[1].tv_nsec < st.st_mtim.tv_nsec) later[1].tv_sec += 1;
    if (DosDateTimeFromUnix(later[1].tv_sec) != DosDateTimeFromUnix(st.st_mtim.tv_sec))
        later[1] = st.st_mtim, later[1].tv_nsec = 999999999;
    ASSERT_EQ(utimensat(AT_FDCWD, src.c_str(), later, 0), 0);
    prj.CopyToSavePlaces(false);
    EXPECT_EQ(ReadFile(dst), "ARCHIVE BODY");
}

// The answers of the copy events, given to the first calls: 0 skips the
// file, 1 goes on, 2 stops, 3 copies again, 4 verifies.
TEST_F(CopyTest, AnswersOfTheCopyEvents) {
    struct Row {
        const char* name;
        std::vector<uint8_t> before, after;
        Strings firstEvents;
        size_t copied;
        bool stop;
    };
    const Row rows[] = {
        {"SkipFirst", {0}, {}, {"before 1 BACKUP.A01"}, 2, false},
        {"StopAtFirst", {2}, {}, {"before 1 BACKUP.A01"}, 0, true},
        {"GoOn", {1}, {}, {"before 1 BACKUP.A01", "after 1 BACKUP.A01"}, 3, false},
        {"VerifyThenCopyAgain",
         {},
         {4, 3, 4, 1},
         {"before 1 BACKUP.A01", "after 1 BACKUP.A01", "before 4 BACKUP.A01", "after 4 BACKUP.A01",
          "before 1 BACKUP.A01", "after 1 BACKUP.A01", "before 4 BACKUP.A01", "after 4 BACKUP.A01"},
         3,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        THL_HalvoraProject p;
        Init(p);
        p.SavePlaces().Add(std::string("D:\\") + row.name);
        p.MakeSaveDirectories = true;
        Strings seen;
        size_t befores = 0, afters = 0;
        p.OnBeforeCopy = [&](auto&, const std::string& s, auto&, int, int, uint8_t& code) {
            seen.push_back("before " + std::to_string(code) + " " + ExtractFileName(s));
            if (befores < row.before.size()) code = row.before[befores++];
        };
        p.OnAfterCopy = [&](auto&, const std::string& s, auto&, int, int, uint8_t& code) {
            seen.push_back("after " + std::to_string(code) + " " + ExtractFileName(s));
            if (afters < row.after.size()) code = row.after[afters++];
        };
        p.CopyToSavePlaces(false);
        ASSERT_GE(seen.size(), row.firstEvents.size());
        EXPECT_EQ(Strings(seen.begin(), seen.begin() + row.firstEvents.size()), row.firstEvents);
        EXPECT_EQ(p.Stop, row.stop);
        EXPECT_EQ(CopiesIn("d/"s + row.name + "/"), row.copied);
        EXPECT_TRUE(row.copied < 3 ||
                    ReadFile(Root() + "/d/" + row.name + "/BACKUP.ARJ") == "archive body");
    }
}

TEST_F(CopyTest, ErrorsWithoutHandlerAreRaisedTogetherAtTheEnd) {
    prj.SavePlaces().Add("D:\\Missing1");
    AddPlace("Copy1");
    prj.SavePlaces().Add("Q:\\Nowhere");
    const std::string error = ErrorOf([&] { prj.CopyToSavePlaces(false); });

    EXPECT_EQ(CopiesIn("d/Copy1/"), 3u);           // every file went to the place that exists
    EXPECT_FALSE(Exists(Root() + "/d/Missing1"));  // not made without MakeSaveDirectories
    const Strings w = Warnings();
    ASSERT_EQ(w.size(), 6u);
    const std::string first = std::string("Ошибка копирования \""_a) +
                              "D:\\SAVE\\BACKUP.A01\" --> \"D:\\Missing1\\BACKUP.A01\"\r\n" +
                              "Директорий отсутствует: "_a + "D:\\Missing1";
    EXPECT_NE(std::find(w.begin(), w.end(), first), w.end());
    for (const std::string& text : w) EXPECT_NE(error.find(text + "\r\n"), std::string::npos);
    EXPECT_NE(error.find("Директорий отсутствует: Q:\\Nowhere"_a), std::string::npos);
}

TEST_F(CopyTest, CopyErrorHandlerRepeatsOrEnds) {
    prj.SavePlaces().Add("D:\\Late");
    std::vector<uint8_t> seen;
    prj.OnCopyError = [&](auto&, const std::exception&, auto&, auto&, int count, int,
                          uint8_t& code) {
        seen.push_back(code);
        EXPECT_EQ(count, 3);
        // The first failure makes the directory and asks for the file again.
        if (seen.size() == 1) {
            CreateDir("d/Late");
            code = 3;
        }
    };
    prj.CopyToSavePlaces(false);  // handled errors are not raised
    EXPECT_EQ(seen, std::vector<uint8_t>{1});
    EXPECT_EQ(CopiesIn("d/Late/"), 3u);

    // Answer 2 ends the distribution without setting Stop.
    seen.clear();
    events.clear();
    prj.SavePlaces().Add("D:\\Never");
    prj.OnCopyError = [&](auto&, const std::exception&, auto&, auto&, int, int, uint8_t& code) {
        seen.push_back(code);
        code = 2;
    };
    DeleteFile("D:\\Late\\BACKUP.ARJ");
    prj.CopyToSavePlaces(false);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(events.size(), 2u);  // the refreshed file, then the first file of D:\Never
    EXPECT_FALSE(prj.Stop);
}

TEST_F(CopyTest, DiskettePlaceIsKnownByTheDriveOfTheCompletedPlace) {
    // "Archive" starts with an A but lies below Dir: no diskette there.
    prj.SavePlaces().Add("Archive");
    prj.MakeSaveDirectories = true;
    EXPECT_EQ(ErrorOf([&] { prj.CopyToDiskettes(); }),
              "Проектом не определены пути копирования на дискеты"_a);
    EXPECT_TRUE(events.empty());
    prj.CopyToSavePlaces(false);
    EXPECT_EQ(CopiesIn("d/Work/Archive/"), 3u);

    // A lower-case drive letter is a diskette all the same.
    prj.SavePlaces().Add(" a:\\Arc ");
    events.clear();
    prj.CopyToDiskettes();
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(ReadFile(Root() + "/a/Arc/BACKUP.ARJ"), "archive body");
}

TEST_F(CopyTest, RelativePlacesLieBelowDir) {
    CreateFile("d/Work/Out/BACKUP.ARJ", "built below Dir");
    prj.SavePlaces().Clear();
    EXPECT_EQ(ErrorOf([&] { prj.CopyToSavePlaces(true); }), "Не определены пути сохранения"_a);
    prj.SavePlaces().Add("Out");
    prj.SavePlaces().Add("Mirror\\");
    prj.SavePlaces().Add("\\Top");
    prj.MakeSaveDirectories = true;
    prj.CopyToSavePlaces(false);
    EXPECT_EQ(ReadFile(Root() + "/d/Work/Mirror/BACKUP.ARJ"), "built below Dir");
    EXPECT_EQ(ReadFile(Root() + "/d/Top/BACKUP.ARJ"), "built below Dir");
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(prj.CompleteSavePlace(" Mirror "), "D:\\Work\\Mirror\\");
}

TEST_F(CopyTest, ProgressContract) {
    AddPlace("Copy1");
    prj.SetArcName("BIG.ARJ");
    CreateFile("d/Save/BIG.ARJ", std::string(70000, 'b'));
    std::vector<std::pair<int64_t, int64_t>> calls;
    prj.OnCopyProgress = [&](auto&, int64_t done, int64_t total) {
        calls.emplace_back(done, total);
    };
    prj.CopyToSavePlaces(false);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), std::make_pair(int64_t{0}, int64_t{70000}));
    EXPECT_EQ(calls.back(), std::make_pair(int64_t{70000}, int64_t{70000}));
    EXPECT_EQ(prj.CopyTotal, 70000);
}

// Verification: a difference is a copy error, a stop in the middle none.
TEST_F(CopyTest, Verification) {
    AddPlace("Copy1");
    bool verifying = false;
    prj.OnAfterCopy = [&](auto&, auto&, auto&, int, int, uint8_t& code) {
        if (code == 1) code = 4;
    };
    // The copy is spoilt between the copy and its verification.
    prj.OnBeforeCopy = [&](auto&, const std::string& s, const std::string& t, int, int,
                           uint8_t& code) {
        verifying = code == 4;
        if (verifying && ExtractFileName(s) == "BACKUP.ARJ")
            test::WritePosixFile(Posix(t), "archive bodY");
    };
    Strings failed;
    prj.OnCopyError = [&](auto&, const std::exception& e, const std::string& s, auto&, int, int,
                          uint8_t&) { failed.push_back(ExtractFileName(s) + ": " + e.what()); };
    prj.CopyToSavePlaces(false);
    EXPECT_EQ(failed, Strings{"BACKUP.ARJ: "s + "Копия отличается от оригинала"_a});
    ASSERT_EQ(Warnings().size(), 1u);
    EXPECT_NE(Warnings()[0].find("Копия отличается от оригинала"_a), std::string::npos);

    // Without a handler the difference is raised at the end.
    prj.OnCopyError = nullptr;
    DeleteFile("D:\\Copy1\\BACKUP.ARJ");
    EXPECT_NE(ErrorOf([&] { prj.CopyToSavePlaces(false); }).find("Копия отличается"_a),
              std::string::npos);

    // The user stops in the middle of the verification of the 10000-byte volume.
    responder.Clear();
    failed.clear();
    prj.OnBeforeCopy = [&](auto&, auto&, auto&, int, int, uint8_t& code) { verifying = code == 4; };
    prj.OnCopyError = [&](auto&, auto&, auto&, auto&, int, int, uint8_t&) {
        failed.push_back("?");
    };
    prj.OnCopyProgress = [&](THL_HalvoraProject& p, int64_t done, int64_t total) {
        if (verifying && done > 0 && done < total) p.SetStop(true);
    };
    DeleteFile("D:\\Copy1\\BACKUP.A01");
    prj.CopyToSavePlaces(false);
    EXPECT_TRUE(failed.empty());
    EXPECT_TRUE(Warnings().empty());
    EXPECT_TRUE(prj.Stop);
}

}  // namespace
}  // namespace hv
