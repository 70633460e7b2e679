#include <gtest/gtest.h>

#include "delphi/DelpFls.h"
#include "platform/AnsiLiteral.h"
#include "support/ErrorOf.h"
#include "support/TempTree.h"
#include "util/Exception.h"

namespace hv {
namespace {

class Delphi : public test::TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        // The program runs from its own directory, not the project's.
        CreateDir("d/prog");
        SetCurrentDir("D:\\prog");
    }
    std::vector<std::string> Parse(const std::string& file) {
        TStringList out;
        EXPECT_TRUE(collector.ParseUnit(file, out)) << file;
        return out.Strings();
    }
    // Result entries with a mark: "+" read or header, "-" not read.
    std::vector<std::string> Collect(const std::string& project) {
        TStringList out;
        collector.Collect(project, out);
        std::vector<std::string> rows;
        for (int i = 0; i < out.Count(); ++i)
            rows.push_back((collector.IsMarked(out, i) ? "+ " : "- ") + out[i]);
        return rows;
    }

    CurrentDirGuard cwd_;
    TDelphiProject collector;
};

using Lines = std::vector<std::string>;

TEST_F(Delphi, UsesClausesOfOneFile) {
    struct Row {
        const char* name;
        const char* source;
        Lines expected;
    } rows[] = {
        {"in name with a form comment",
         "program P;\r\nuses Main in 'Main.pas' {FormMain}, Utils;\r\nbegin\r\nend.\r\n",
         {"Main.pas", "Utils.pas"}},
        {"clause over several lines",
         "unit A;\r\ninterface\r\nuses\r\n  SysUtils,\r\n  Classes,\r\n  "
         "Forms;\r\nimplementation\r\nend.\r\n",
         {"SysUtils.pas", "Classes.pas", "Forms.pas"}},
        {"interface and implementation clauses, a third ignored",
         "unit A;\r\ninterface\r\nuses B;\r\nimplementation\r\nuses C, D;\r\nuses E;\r\nend.\r\n",
         {"B.pas", "C.pas", "D.pas"}},
        {"braced comment over several lines hides uses",
         "unit A;\r\n{ old code\r\nuses Hidden;\r\n}\r\ninterface uses Seen;\r\nend.\r\n",
         {"Seen.pas"}},
        {"line comment hides uses",
         "unit A;\r\n// uses Hidden;\r\nuses Seen; // , Other\r\n",
         {"Seen.pas"}},
        {"comment inside the clause", "uses A, {B,} C;\r\n", {"A.pas", "C.pas"}},
        {"routine after implementation ends the reading",
         "unit A;\r\ninterface\r\nuses B;\r\nimplementation\r\nprocedure X;\r\nuses C;\r\n",
         {"B.pas"}},
        {"routine before implementation does not",
         "unit A;\r\ninterface\r\nfunction F: Integer;\r\nimplementation\r\nuses C;\r\n",
         {"C.pas"}},
        {"upper-case words and an extension kept",
         "UNIT A;\r\nINTERFACE\r\nUSES Forms, Res.inc;\r\n",
         {"Forms.pas", "Res.inc"}},
        {"trailing comma before the semicolon line",
         "uses A,\r\n  B,\r\n  ;\r\n",
         {"A.pas", "B.pas"}},
        {"tab after uses", "uses\tA;\r\n", {"A.pas"}},
        {"no uses at all", "unit A;\r\ninterface\r\nimplementation\r\nend.\r\n", {}},
    };
    int n = 0;
    for (const Row& r : rows) {
        std::string rel = "d/src/u" + std::to_string(n++) + ".pas";
        CreateFile(rel, r.source);
        EXPECT_EQ(Parse("D:\\" + rel.substr(2)), r.expected) << r.name;
    }
}

// An unquoted "in" name raises; a missing file leaves the output untouched.
TEST_F(Delphi, UnquotedInNameRaisesAndAMissingFileGivesNothing) {
    CreateFile("d/src/bad.dpr", "uses Main in Main.pas;\r\n");
    TStringList out;
    out.Add("keep");
    EXPECT_EQ(test::ErrorOf([&] { collector.ParseUnit("D:\\src\\bad.dpr", out); }),
              "error in 'in'");
    EXPECT_THROW(collector.Collect("D:\\src\\bad.dpr", out), Exception);
    out.Clear();
    out.Add("keep");
    EXPECT_FALSE(collector.ParseUnit("D:\\src\\none.pas", out));
    EXPECT_EQ(out.Strings(), Lines{"keep"});
    EXPECT_EQ(Collect("D:\\nothere\\X.dpr"),
              (Lines{"+ ---  Проект:  D:\\nothere\\X.dpr"_a, "+ X.dpr"}));
}

TEST_F(Delphi, FindUnitFileLooksInTheSearchDirectoriesInOrder) {
    CreateFile("d/one/U.pas");
    CreateFile("d/two/U.pas");
    CreateFile("d/two/V.pas");
    TStringList dirs;
    for (const char* d : {"D:\\one", "D:\\two\\"}) dirs.Add(d);
    collector.SetSearchDirs(dirs);
    struct Row {
        const char* name;
        std::string in;
        bool found;
        std::string out;
    } rows[] = {
        {"first directory wins", "U.pas", true, "D:\\one\\U.pas"},
        {"second directory", "V.pas", true, "D:\\two\\V.pas"},
        {"bare name nowhere", "W.pas", false, "W.pas"},
        {"full path", "D:\\two\\U.pas", true, "D:\\two\\U.pas"},
        {"relative path that exists stays as given", "..\\two\\V.pas", true, "..\\two\\V.pas"},
        {"relative path below a search directory", "sub\\X.pas", false, "sub\\X.pas"},
        {"full path that does not exist", "D:\\one\\V.pas", false, "D:\\one\\V.pas"},
    };
    for (const Row& r : rows) {
        std::string name = r.in;
        EXPECT_EQ(collector.FindUnitFile(name), r.found) << r.name;
        EXPECT_EQ(name, r.out) << r.name;
    }
    CreateFile("d/two/sub/X.pas");
    std::string name = "sub\\X.pas";
    EXPECT_TRUE(collector.FindUnitFile(name));
    EXPECT_EQ(name, "D:\\two\\sub\\X.pas");
}

TEST_F(Delphi, CollectFollowsEveryUnitOnce) {
    CreateFile(
        "d/proj/P.dpr",
        "program P;\r\nuses\r\n  Main in 'Main.pas' {FormMain},\r\n  Utils,\r\n  Missing;\r\n"
        "{$R *.res}\r\nbegin\r\nend.\r\n");
    CreateFile("d/proj/Main.pas",
               "unit Main;\r\ninterface\r\nuses Utils, Sub in "
               "'sub\\Sub.pas';\r\nimplementation\r\nend.\r\n");
    CreateFile("d/proj/Utils.pas",
               "unit Utils;\r\ninterface\r\nimplementation\r\nuses Main;\r\nend.\r\n");
    CreateFile("d/proj/sub/Sub.pas",
               "unit Sub;\n\ninterface\n\nuses Lib;\n\nimplementation\nend.\n");
    CreateFile("d/lib/Lib.pas", "unit Lib;\r\ninterface\r\nimplementation\r\nend.\r\n");
    TStringList dirs;
    dirs.Add("D:\\lib");
    collector.SetSearchDirs(dirs);

    EXPECT_EQ(Collect("D:\\proj\\P.dpr"), (Lines{
                                              "+ ---  Проект:  D:\\proj\\P.dpr"_a,
                                              "+ P.dpr",
                                              "+ Main.pas",
                                              "+ Utils.pas",
                                              "- Missing.pas",
                                              "+ ---  Модуль:  Main.pas"_a,
                                              "+ sub\\Sub.pas",
                                              "+ ---  Модуль:  Utils.pas"_a,
                                              "+ ---  Модуль:  Missing.pas"_a,
                                              "+ ---  Модуль:  sub\\Sub.pas"_a,
                                              "+ Lib.pas",
                                              "+ ---  Модуль:  Lib.pas"_a,
                                          }));
    EXPECT_EQ(collector.SearchDirs().Strings(), (Lines{"D:\\proj\\", "D:\\lib"}));
    // A second run does not add the project directory again.
    Collect("D:\\proj\\P.dpr");
    EXPECT_EQ(collector.SearchDirs().Count(), 2);
}

}  // namespace
}  // namespace hv
