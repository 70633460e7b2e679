// Distribution of the archive to the storage places, on real temporary trees:
// D: is the working drive, A: the diskette, \\srv\share a network place that
// a private mount table mounts (or not).
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/ProjectTrees.h"

namespace hv {
namespace {

using namespace std::string_literals;
using test::ErrorOf;
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
