// The project file: exact bytes written, recognition, tolerant reading of
// hand-edited and corrupt files (the save by one rename is the INI file's test);
// the fuzzing corpus of project-file loading replayed through the fuzz target
// itself: an input that loads but does not save and load back aborts it. The
// project classes: node operations, file names, archive names and volume sizes.
#include "support/Corpus.h"
#include "support/ProjectTrees.h"
#include "util/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv {
namespace {

using test::CrLf;
using test::ErrorOf;
using test::ProjectTree;

const std::string kSig = "***  This is Halvora Project File  ***";

class ProjectFile : public ProjectTree {
  protected:
    // Loads Bytes as D:\Projects\<name> into a fresh project.
    std::unique_ptr<THL_HalvoraProject> Load(const std::string& bytes,
                                             const std::string& name = "P.hlj") {
        Put("D:\\Projects\\" + name, bytes);
        auto p = std::make_unique<THL_HalvoraProject>();
        p->FileName = name;
        p->LoadFromFile();
        return p;
    }
    // A Halvora project file whose ProjectData section holds Keys.
    static std::string WithKeys(const std::vector<std::string>& keys) {
        std::vector<std::string> lines{"[" + kSig + "]", "Version=10000", "", "[ProjectData]"};
        lines.insert(lines.end(), keys.begin(), keys.end());
        lines.push_back("");
        return CrLf(lines);
    }
};

TEST_F(ProjectFile, SampleLoadsAndSavesByteForByte) {
    for (const char* name : {"Documents.hlj", "Full1251.hlj"}) {
        SCOPED_TRACE(name);
        const std::string original = DataFile(name);
        ASSERT_FALSE(original.empty());
        auto p = Load(original, name);
        Put("D:\\Projects\\" + std::string(name), "");  // the save must not lean on the old file
        p->SaveToFile();
        EXPECT_EQ(Get("D:\\Projects\\" + std::string(name)), original);
    }
}

TEST_F(ProjectFile, FullSampleReadsEveryField) {
    auto p = Load(DataFile("Full1251.hlj"));
    // What the byte-for-byte round trip cannot tell: each value in its own field,
    // for the fields the sample written from code does not pin.
    EXPECT_EQ(p->IncludeFiles().Strings(),
              (std::vector<std::string>{"Отчёты\\*.xls"_a, "C:\\Конфиг\\настройки.ini"_a}));
    ASSERT_EQ(p->Dirs().Count(), 2);
    const THL_Directory& mail = *p->DirNode(1);
    EXPECT_EQ(mail.Name(), "E:\\Почта\\"_a);
    EXPECT_EQ(mail.Dir(), "E:\\Почта"_a);
    EXPECT_EQ(mail.Section, "Dir_1");
    EXPECT_FALSE(mail.ProjectProperties());
    EXPECT_TRUE(mail.IncludeAllFiles);
    EXPECT_EQ(mail.ExcludeFiles().Strings(), (std::vector<std::string>{"Корзина\\*.*"_a}));
    EXPECT_EQ(p->ArcPS, "пароль с пробелами"_a);
    EXPECT_EQ(p->VolumeSize(), 1);
    EXPECT_EQ(p->PreBatch()[0], "@echo off");
    EXPECT_EQ(p->Ini(), nullptr);
}

TEST_F(ProjectFile, ProjectBuiltInCodeWritesTheSampleText) {
    THL_HalvoraProject p;
    p.FileName = "Documents.hlj";
    p.SetName("Documents");
    p.SetRootDir(" D:\\Work\\ ");
    p.IncludeAllFiles = true;
    p.IncludeSubDirs = true;
    p.AddExtension("BAK");
    p.AddExtension("~*");
    p.AddDirectory("D:\\Work\\Src");
    p.SavePlaces().Add("E:\\Save");
    p.SetArcName("D:\\Elsewhere\\Documents.ARJ");  // named after the project file
    EXPECT_EQ(p.ArcName(), "*.ARJ");
    p.ArcType = 2;
    p.CompressType = 2;
    p.ArcFiles().Add("E:\\SAVE\\Documents.ARJ");
    p.SaveToFile();
    EXPECT_EQ(Get("D:\\Projects\\Documents.hlj"), DataFile("Documents.hlj"));
}

TEST_F(ProjectFile, OnlyABracketedSignatureInTheHeadIsAProject) {
    const std::string line = "[" + kSig + "]";
    const std::string body = "\r\nVersion=10000\r\n";
    const struct {
        const char* name;
        std::string bytes;
        bool isProject;
    } rows[] = {
        {"SignatureLineWithTenBytesMoreIsTooShort", line + std::string(8, 'x'), false},
        {"SignatureLineWithElevenBytesMore", line + std::string(9, 'x'), true},
        {"SignatureOnTheSecondLine", "; a note\r\n" + line + body, true},
        {"SignatureAfterTheFirst256Bytes", std::string(300, ' ') + line + body, false},
        {"SignatureAtTheVeryStart", kSig + "]" + body + body, false},
        {"RoundBrackets", "(" + kSig + ")" + body, false},
        {"NoClosingBracket", "[" + kSig + " " + body, false},
        {"ZeroByteBeforeTheSignature", std::string("x\0", 2) + line + body, false},
        {"PlainProjectSignature", "[***  This is Project File  ***]" + body + body, false},
        {"EmptyFile", "", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Put("D:\\Projects\\R.hlj", r.bytes);
        THL_HalvoraProject p;
        p.FileName = "R.hlj";
        EXPECT_EQ(p.IsProjectFile(), r.isProject);
        if (r.isProject) continue;
        p.SetName("Kept");
        EXPECT_EQ(ErrorOf([&] { p.LoadFromFile(); }), "D:\\Projects\\R.hlj не является проектом"_a);
        EXPECT_EQ(p.Name(), "Kept");
    }
}

TEST_F(ProjectFile, PlainProjectKeepsItsOwnSignature) {
    Put("D:\\Projects\\Plain.hlj", CrLf({"[***  This is Project File  ***]", "Version=1", "",
                                         "[ProjectData]", "Name=\"Plain\"", ""}));
    THL_Project plain;
    plain.FileName = "Plain.hlj";
    plain.LoadFromFile();
    EXPECT_EQ(plain.Name(), "Plain");
    Put("D:\\Projects\\Halvora.hlj", DataFile("Documents.hlj"));
    plain.FileName = "Halvora.hlj";
    EXPECT_FALSE(plain.IsProjectFile());
}

TEST_F(ProjectFile, NodeWithProjectPropertiesLosesItsOwnLists) {
    THL_HalvoraProject p;
    p.FileName = "N.hlj";
    THL_Directory* node = p.AddDirectory("D:\\Work\\Src");
    node->AddExtension("OBJ");
    node->AddFileName("keep.txt", true);
    node->IncludeSubDirs = true;
    p.SaveToFile();
    const std::string text = Get("D:\\Projects\\N.hlj");
    EXPECT_NE(text.find("[Dir_0]\r\nName=\"D:\\Work\\Src\"\r\nProjectProperties=1\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("X.Count"), std::string::npos);  // empty lists write no keys

    auto back = Load(text, "N.hlj");
    ASSERT_EQ(back->Dirs().Count(), 1);
    EXPECT_TRUE(back->DirNode(0)->Extensions().Empty());
    EXPECT_TRUE(back->DirNode(0)->IncludeFiles().Empty());
    EXPECT_FALSE(back->DirNode(0)->IncludeSubDirs);
    EXPECT_TRUE(back->ExcludeFiles().Empty());
}

// Counts are only as good as the keys behind them.
TEST_F(ProjectFile, CorruptCountsStayWithinTheKeysPresent) {
    auto p = Load(WithKeys({"E.Count=2000000000", "E0=\"BAK\"", "I.Count=-5", "I0=\"x\"",
                            "D.Count=999999999", "D0=\"D:\\A\"", "S.Count=0x7FFFFFFF"}) +
                  CrLf({"[ProjectDataAF]", "Count=123456789", "S0=\"a\"", ""}));
    EXPECT_LE(p->Extensions().Count(), 8);
    EXPECT_EQ(p->Extensions()[0], "BAK");
    EXPECT_TRUE(p->IncludeFiles().Empty());
    ASSERT_EQ(p->Dirs().Count(), 1);  // no key, no section: no node
    EXPECT_EQ(p->DirNode(0)->Dir(), "D:\\A");
    EXPECT_LE(p->SavePlaces().Count(), 8);
    EXPECT_LE(p->ArcFiles().Count(), 2);
}

TEST_F(ProjectFile, NodeWithoutItsSectionKeepsThePathOfItsKey) {
    auto p = Load(WithKeys({"D.Count=2", "D0=\"D:\\Work\\A\"", "D1=\"D:\\Work\\B\\\""}) +
                  CrLf({"[Dir_1]", "ProjectProperties=0", "IncludeSubDirs=1", ""}));
    ASSERT_EQ(p->Dirs().Count(), 2);
    EXPECT_EQ(p->DirNode(0)->Dir(), "D:\\Work\\A");
    EXPECT_TRUE(p->DirNode(0)->ProjectProperties());
    EXPECT_EQ(p->DirNode(1)->Dir(), "D:\\Work\\B");
    EXPECT_FALSE(p->DirNode(1)->ProjectProperties());
    EXPECT_TRUE(p->DirNode(1)->IncludeSubDirs);
}

TEST_F(ProjectFile, EveryOpenReadsTheFileAgain) {
    auto p = Load(WithKeys({"Name=\"First\""}));
    Put("D:\\Projects\\P.hlj", WithKeys({"Name=\"Second\"", "VolumeSize=3"}));
    p->LoadFromFile();
    EXPECT_EQ(p->Name(), "Second");
    EXPECT_EQ(p->VolumeSize(), 3);
}

TEST_F(ProjectFile, FailedLoadAndSaveReleaseTheDocument) {
    THL_HalvoraProject p;
    p.FileName = "Absent.hlj";
    EXPECT_THROW(p.LoadFromFile(), EFOpenError);
    EXPECT_EQ(p.Ini(), nullptr);
    p.FileName = "D:\\NoSuchDir\\P.hlj";
    EXPECT_THROW(p.SaveToFile(), Exception);
    EXPECT_EQ(p.Ini(), nullptr);
    EXPECT_FALSE(Exists(Root() + "/d/NoSuchDir"));  // nothing left behind
}

TEST(FuzzCorpus, ProjectFilesLoadAndSaveBackOrAreRefused) {
    const auto replay = test::ReplayCorpus("project", LLVMFuzzerTestOneInput);
    EXPECT_GT(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}

TEST(ProjectModel, DirectoryNodes) {
    THL_HalvoraProject p;
    THL_Directory* node = p.AddDirectory("D:\\Work\\Src");
    node->SetName("  D:\\Work\\Lib\\  ");
    EXPECT_EQ(node->Dir(), "D:\\Work\\Lib");
    p.SetProjectProperties(true);  // a project never takes another's rules
    EXPECT_FALSE(p.ProjectProperties());

    // A node has no nodes of its own.
    EXPECT_THROW(node->AddDirectory("D:\\X"), Exception);
    EXPECT_TRUE(node->Dirs().Empty());

    THL_HalvoraProject q;
    q.AddDirectory("D:\\A");
    q.AddDirectory("D:\\B");
    EXPECT_EQ(q.DeleteDirectory("D:\\Missing"), -1);
    EXPECT_EQ(q.Dirs().Count(), 2);
    EXPECT_EQ(q.DeleteDirectory("d:\\a"), 0);
    ASSERT_EQ(q.Dirs().Count(), 1);
    EXPECT_EQ(q.DirNode(0)->Dir(), "D:\\B");

    // A node's stop is its owner's, and only Stop sets it.
    THL_HalvoraProject owned(&q);
    owned.AddDirectory("D:\\X")->SetStop(true);
    EXPECT_TRUE(q.Stop);
    EXPECT_TRUE(owned.IsStopped());
    EXPECT_FALSE(owned.Stop);
    owned.SetStop(false);
    EXPECT_TRUE(q.Stop);
}

TEST(ProjectModel, NodeFollowsTheProjectUntilGivenItsOwnRules) {
    THL_HalvoraProject p;
    THL_Directory* node = p.AddDirectory("D:\\Lib");
    p.IncludeAllFiles = false;
    p.AddExtension("PAS");
    EXPECT_EQ(node->CheckFile("D:\\Lib\\a.pas"), 1);
    p.Extensions().Clear();
    p.AddExtension("DPR");
    EXPECT_EQ(node->CheckFile("D:\\Lib\\a.pas"), 2);
    node->SetProjectProperties(false);
    node->IncludeAllFiles = true;
    EXPECT_EQ(node->CheckFile("D:\\Lib\\a.pas"), 1);
}

using FileNames = ProjectTree;

TEST_F(FileNames, BareNamesGoToTheProjectsDirectory) {
    THL_HalvoraProject p;
    p.FileName = "Docs.hlj";
    EXPECT_EQ(p.GetFileName(), "D:\\Projects\\Docs.hlj");
    EXPECT_EQ(p.FileName, "D:\\Projects\\Docs.hlj");
    p.FileName = "sub\\Other.hlj";
    EXPECT_EQ(p.GetFileName(), "D:\\Projects\\Other.hlj");
    p.FileName = "E:\\Keep\\Mine.hlj";
    EXPECT_EQ(p.GetFileName(), "E:\\Keep\\Mine.hlj");
}

TEST(ArcFileName, FromNameArchiverAndCompression) {
    struct Row {
        const char* name;
        std::string arcName;
        uint8_t arcType, compressType;
        std::string expected;  // path, or the error text
    } rows[] = {
        {"StarStemTakesTheProjectStem", "*.ARJ", 2, 2, "E:\\Save\\Docs.ARJ"},
        {"NoExtensionTakesTheArchiversOwn", "Backup", 4, 2, "E:\\Save\\Backup.RAR"},
        {"HlaGivesWayToTheArchiver", "Backup.hla", 2, 2, "E:\\Save\\Backup.ARJ"},
        {"HlaStaysForTheInternalPacker", "Backup.HLA", 1, 2, "E:\\Save\\Backup.hla"},
        {"StemEndsAtTheFirstDot", "a.b.ZIP", 3, 2, "E:\\Save\\a.ZIP"},
        {"SelfExtractingIsExe", "", 2, 3, "E:\\Save\\Docs.EXE"},
        {"DirectoryPartIsDropped", "C:\\Old\\Keep.zip", 3, 2, "E:\\Save\\Keep.zip"},
        {"UnknownArchiver", "Backup", 7, 2, "Неизвесный тип архиватора"_a},
        {"UndefinedArchiver", "", 0, 0, "Неизвесный тип архиватора"_a},
    };
    for (const Row& r : rows) {
        THL_HalvoraProject p;
        p.FileName = "D:\\Projects\\Docs.hlj";
        p.SavePlaces().Add("E:\\Save");
        p.SetArcName(r.arcName);
        p.ArcType = r.arcType;
        p.CompressType = r.compressType;
        EXPECT_EQ(ErrorOf([&] { throw Exception(p.GetArcFileName()); }), r.expected) << r.name;
    }
}

TEST(ArcFileName, NeedsAStoragePlaceAndFollowsItsInputs) {
    THL_HalvoraProject p;
    p.FileName = "D:\\Projects\\Docs.hlj";
    p.ArcType = 2;
    EXPECT_EQ(ErrorOf([&] { p.GetArcFileName(); }), "Не определены пути сохранения"_a);
    p.SavePlaces().Add("E:\\Save\\");
    EXPECT_EQ(p.GetArcFileName(), "E:\\Save\\Docs.ARJ");
    EXPECT_EQ(p.ArcPath(), "E:\\Save\\Docs.ARJ");
    // A stale path would send the archive to the old place.
    p.SavePlaces().Put(0, "F:\\New");
    p.ArcType = 3;
    EXPECT_EQ(p.GetArcFileName(), "F:\\New\\Docs.ZIP");
    // A name of the project's own stem is stored as "*".
    p.SetArcName("X:\\Any\\DOCS.rar");
    EXPECT_EQ(p.ArcName(), "*.rar");
    p.SetArcName("Other.rar");
    EXPECT_EQ(p.ArcName(), "Other.rar");
}

TEST(VolumeBytes, Table) {
    // 1 to 4 are the diskette sizes the template test shows for 1.
    const std::pair<int, int32_t> rows[] = {{0, THL_HalvoraProject::kNoVolumeLimit},
                                            {-3, THL_HalvoraProject::kNoVolumeLimit},
                                            {50000, THL_HalvoraProject::kNoVolumeLimit},
                                            {50001, 50001}};
    THL_HalvoraProject p;
    for (const auto& [volumeSize, bytes] : rows) {
        p.SetVolumeSize(volumeSize);
        EXPECT_EQ(p.GetVolumeBytes(), bytes) << volumeSize;
    }
    for (int bad : {5, 49999}) {
        p.SetVolumeSize(bad);
        EXPECT_EQ(ErrorOf([&] { p.GetVolumeBytes(); }),
                  "Ошибка в размере тома архива: "_a + std::to_string(bad));
    }
}

}  // namespace
}  // namespace hv
