// The project classes: node operations, file names, archive names and volume
// sizes.
#include "support/ProjectTrees.h"
#include "util/Exception.h"

namespace hv {
namespace {

using test::ErrorOf;
using test::ProjectTree;

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
