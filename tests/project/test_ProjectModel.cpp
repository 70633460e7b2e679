// The project classes: defaults, node operations, file names, archive names
// and volume sizes.
#include "ProjectFixture.h"
#include "util/Exception.h"

namespace hv {
namespace {

using test::ProjectTree;

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ProjectModel, FreshProjectDefaults) {
    THL_HalvoraProject p;
    EXPECT_EQ(p.Owner(), &p);
    EXPECT_TRUE(p.GlobalProjectExclude);
    EXPECT_EQ(p.ArcType, 0);
    EXPECT_EQ(p.CompressType, 0);
    EXPECT_EQ(p.Section, "ProjectData");
    EXPECT_FALSE(p.IncludeAllFiles || p.IncludeSubDirs || p.ProjectProperties());
    EXPECT_FALSE(p.Scanning || p.Stop || p.Running);
    EXPECT_TRUE(p.Dirs().Empty() && p.Extensions().Empty() && p.SavePlaces().Empty() &&
                p.ArcFiles().Empty() && p.PreBatch().Empty() && p.Lines().Empty());
    EXPECT_EQ(p.Ini(), nullptr);
}

TEST(ProjectModel, DirectoryNodeNameAndDir) {
    THL_HalvoraProject p;
    THL_Directory* node = p.AddDirectory("D:\\Work\\Src");
    EXPECT_EQ(node->Owner(), &p);
    EXPECT_TRUE(node->ProjectProperties());
    EXPECT_FALSE(node->GlobalProjectExclude);
    node->SetName("  D:\\Work\\Lib\\  ");
    EXPECT_EQ(node->Name(), "  D:\\Work\\Lib\\  ");
    EXPECT_EQ(node->Dir(), "D:\\Work\\Lib");
    p.SetProjectProperties(true);  // a project never takes another's rules
    EXPECT_FALSE(p.ProjectProperties());
}

TEST(ProjectModel, DirectoryNodeRefusesTreeOperations) {
    THL_HalvoraProject p;
    THL_Directory* node = p.AddDirectory("D:\\Work\\Src");
    const std::string forbidden = "THL_Directory: Операция запрещена"_a;
    EXPECT_EQ(ErrorOf([&] { node->SetRootDir("D:\\X"); }), forbidden);
    EXPECT_EQ(ErrorOf([&] { node->AddDirectory("D:\\X"); }), forbidden);
    EXPECT_EQ(ErrorOf([&] { node->DeleteDirectory("D:\\Work\\Src"); }), forbidden);
    EXPECT_EQ(node->Dir(), "D:\\Work\\Src");
    EXPECT_TRUE(node->Dirs().Empty());
}

TEST(ProjectModel, DeleteDirectory) {
    THL_HalvoraProject p;
    p.AddDirectory("D:\\A");
    p.AddDirectory("D:\\B");
    EXPECT_EQ(p.DeleteDirectory("D:\\Missing"), -1);
    EXPECT_EQ(p.Dirs().Count(), 2);
    EXPECT_EQ(p.DeleteDirectory("d:\\a"), 0);
    ASSERT_EQ(p.Dirs().Count(), 1);
    EXPECT_EQ(p.DirNode(0)->Dir(), "D:\\B");
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

TEST(ProjectModel, StopIsTheOwnersAndOnlySetByStop) {
    THL_HalvoraProject owner;
    THL_HalvoraProject owned(&owner);
    THL_Directory* node = owned.AddDirectory("D:\\X");
    node->SetStop(true);
    EXPECT_TRUE(owner.Stop);
    EXPECT_TRUE(owned.IsStopped());
    EXPECT_FALSE(owned.Stop);
    owned.SetStop(false);
    EXPECT_TRUE(owner.Stop);
}

class FileNames : public ProjectTree {};

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

struct ArcNameCase {
    const char* name;
    std::string arcName;
    int arcType;
    int compressType;
    std::string expected;  // path, or the error text
};

void PrintTo(const ArcNameCase& c, std::ostream* os) {
    *os << c.name;
}

class ArcFileNames : public ::testing::TestWithParam<ArcNameCase> {};

TEST_P(ArcFileNames, GetArcFileName) {
    const ArcNameCase& c = GetParam();
    THL_HalvoraProject p;
    p.FileName = "D:\\Projects\\Docs.hlj";
    p.SavePlaces().Add("E:\\Save");
    p.SetArcName(c.arcName);
    p.ArcType = static_cast<uint8_t>(c.arcType);
    p.CompressType = static_cast<uint8_t>(c.compressType);
    EXPECT_EQ(ErrorOf([&] { throw Exception(p.GetArcFileName()); }), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArcFileNames,
    ::testing::Values(
        ArcNameCase{"StarStemTakesTheProjectStem", "*.ARJ", 2, 2, "E:\\Save\\Docs.ARJ"},
        ArcNameCase{"NoExtensionTakesTheArchiversOwn", "Backup", 4, 2, "E:\\Save\\Backup.RAR"},
        ArcNameCase{"HlaGivesWayToTheArchiver", "Backup.hla", 2, 2, "E:\\Save\\Backup.ARJ"},
        ArcNameCase{"HlaStaysForTheInternalPacker", "Backup.HLA", 1, 2, "E:\\Save\\Backup.hla"},
        ArcNameCase{"StemEndsAtTheFirstDot", "a.b.ZIP", 3, 2, "E:\\Save\\a.ZIP"},
        ArcNameCase{"SelfExtractingIsExe", "", 2, 3, "E:\\Save\\Docs.EXE"},
        ArcNameCase{"DirectoryPartIsDropped", "C:\\Old\\Keep.zip", 3, 2, "E:\\Save\\Keep.zip"},
        ArcNameCase{"UnknownArchiver", "Backup", 7, 2, "Неизвесный тип архиватора"_a},
        ArcNameCase{"UndefinedArchiver", "", 0, 0, "Неизвесный тип архиватора"_a}),
    [](const auto& info) { return std::string(info.param.name); });

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
}

TEST(ArcFileName, SetArcNameStarsTheProjectStem) {
    THL_HalvoraProject p;
    p.FileName = "D:\\Projects\\Docs.hlj";
    p.SetArcName("X:\\Any\\DOCS.rar");
    EXPECT_EQ(p.ArcName(), "*.rar");
    p.SetArcName("Other.rar");
    EXPECT_EQ(p.ArcName(), "Other.rar");
    p.SetArcName("");
    EXPECT_EQ(p.ArcName(), "");
}

TEST(VolumeBytes, Table) {
    const struct {
        int volumeSize;
        int32_t bytes;
    } rows[] = {{0, THL_HalvoraProject::kNoVolumeLimit},
                {-3, THL_HalvoraProject::kNoVolumeLimit},
                {1, 1456400},
                {2, 1212400},
                {3, 728200},
                {4, 361400},
                {50000, THL_HalvoraProject::kNoVolumeLimit},
                {50001, 50001}};
    THL_HalvoraProject p;
    for (const auto& r : rows) {
        p.SetVolumeSize(r.volumeSize);
        EXPECT_EQ(p.GetVolumeBytes(), r.bytes) << r.volumeSize;
    }
    for (int bad : {5, 49999}) {
        p.SetVolumeSize(bad);
        EXPECT_EQ(ErrorOf([&] { p.GetVolumeBytes(); }),
                  "Ошибка в размере тома архива: "_a + std::to_string(bad));
    }
}

}  // namespace
}  // namespace hv
