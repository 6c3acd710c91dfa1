// The include direction of the tree: every source of the program and the
// library may include only its own module and the modules below it, the
// library and its stand-ins stay free of Qt, and project includes are written
// from the root. A wrong include fails here, not in a review.
#include "tests/support/TestEnvironment.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Modules by folder, the longest folder first where one holds another.
const std::vector<std::pair<std::string, std::string>> CModules = {
    {"app/", "app"},
    {"dataaccess/comp/", "comp"},
    {"dataaccess/dapt/", "dapt"},
    {"dataaccess/phys/", "phys"},
    {"dataaccess/dats/", "dats"},
    {"dataaccess/stan/", "stan"},
    {"platform/rtl/", "rtl"},
    {"platform/dataset/", "dataset"},
    {"platform/localdb/", "localdb"},
    {"platform/accessodbc/", "accessodbc"},
    {"platform/toolkit/", "toolkit"},
};

// What each module may include directly; what those include is allowed too.
// The window toolkit is the program's alone; the ODBC driver stands alone.
const std::map<std::string, std::vector<std::string>> CUses = {
    {"app", {"comp", "dataset", "toolkit", "localdb"}},
    {"comp", {"dapt", "dataset"}},
    {"dapt", {"phys"}},
    {"phys", {"dats"}},
    {"dats", {"stan"}},
    {"stan", {"rtl"}},
    {"rtl", {}},
    {"dataset", {"rtl"}},
    {"localdb", {"dataset"}},
    {"toolkit", {"dataset"}},
    {"accessodbc", {"rtl"}},
};

// Modules that build without Qt: the library, the platform stand-ins the
// library and the driver run on, and what they stand on.
const std::set<std::string> CQtFree = {"comp", "dapt", "phys", "dats", "stan", "rtl",
                                       "dataset", "localdb", "accessodbc"};

std::string ModuleOf(const std::string &APath)
{
    for (const auto &[Folder, Module] : CModules)
        if (APath.rfind(Folder, 0) == 0)
            return Module;
    return {};
}

std::set<std::string> Reachable(const std::string &AModule)
{
    std::set<std::string> Seen{AModule};
    std::vector<std::string> Todo{AModule};
    while (!Todo.empty()) {
        std::string M = Todo.back();
        Todo.pop_back();
        auto It = CUses.find(M);
        if (It == CUses.end())
            continue;
        for (const std::string &N : It->second)
            if (Seen.insert(N).second)
                Todo.push_back(N);
    }
    return Seen;
}

bool IsQtHeader(const std::string &AName)
{
    static const std::regex Qt(R"(^(Qt[A-Za-z0-9]*(/.*)?|Q[A-Z][A-Za-z0-9]*|q[a-z0-9_]+\.h)$)");
    return std::regex_match(AName, Qt);
}

bool IsSource(const fs::path &APath)
{
    static const std::set<std::string> Ext = {".h", ".hpp", ".cpp", ".cc", ".inc", ".ipp"};
    return Ext.count(APath.extension().string()) > 0;
}

// Every broken rule under ARoot, one line each: "file:line: what".
std::vector<std::string> Violations(const fs::path &ARoot, int &AFiles)
{
    static const std::regex Include(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
    std::vector<std::string> Out;
    AFiles = 0;
    for (const char *Top : {"app", "dataaccess", "platform"}) {
        if (!fs::is_directory(ARoot / Top))
            continue;
        std::vector<fs::path> Files;
        for (const auto &E : fs::recursive_directory_iterator(ARoot / Top))
            if (E.is_regular_file() && IsSource(E.path()))
                Files.push_back(E.path());
        std::sort(Files.begin(), Files.end());
        for (const fs::path &F : Files) {
            ++AFiles;
            const std::string Rel = fs::relative(F, ARoot).generic_string();
            const std::string Module = ModuleOf(Rel);
            if (Module.empty()) {
                Out.push_back(Rel + ": lies in no module of the layering");
                continue;
            }
            const std::set<std::string> Allowed = Reachable(Module);
            std::ifstream In(F);
            std::string Line;
            for (int No = 1; std::getline(In, Line); ++No) {
                std::smatch M;
                if (Line.find("include") == std::string::npos || !std::regex_search(Line, M, Include))
                    continue;
                const std::string Where = Rel + ":" + std::to_string(No) + ": ";
                const std::string Name = M[2].str();
                if (M[1].str() == "<") {
                    if (CQtFree.count(Module) && IsQtHeader(Name))
                        Out.push_back(Where + Module + " must not include Qt (" + Name + ")");
                    continue;
                }
                if (!fs::is_regular_file(ARoot / Name)) {
                    Out.push_back(Where + "\"" + Name + "\" is not written from the root");
                    continue;
                }
                const std::string Target = ModuleOf(Name);
                if (Target.empty())
                    Out.push_back(Where + Module + " must not include " + Name + " (outside the program and library)");
                else if (!Allowed.count(Target))
                    Out.push_back(Where + Module + " must not include " + Target + " (" + Name + ")");
            }
        }
    }
    return Out;
}

std::string Joined(const std::vector<std::string> &ALines)
{
    std::string R;
    for (const std::string &L : ALines)
        R += L + "\n";
    return R;
}

// A tree of a few files written for one case.
class SmallTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        char Tmpl[] = "/tmp/marlin_layering_XXXXXX";
        Root = mkdtemp(Tmpl);
    }
    void TearDown() override
    {
        std::error_code Ec;
        fs::remove_all(Root, Ec);
    }
    void Write(const std::string &ARel, const std::string &AText)
    {
        fs::create_directories((Root / ARel).parent_path());
        std::ofstream(Root / ARel) << AText;
    }
    std::vector<std::string> Check()
    {
        int Files = 0;
        return Violations(Root, Files);
    }
    fs::path Root;
};

} // namespace

TEST(IncludeDirection, TheTreeFollowsTheLayering)
{
    int Files = 0;
    const std::vector<std::string> Found = Violations(testsupport::SourceDir(), Files);
    EXPECT_GT(Files, 100) << "the scan found no sources under " << testsupport::SourceDir();
    EXPECT_TRUE(Found.empty()) << Joined(Found);
}

TEST_F(SmallTree, DownwardIncludesPass)
{
    Write("platform/rtl/SysUtils.h", "#pragma once\n#include <string>\n");
    Write("dataaccess/stan/qxZqStanUtil.h", "#include \"platform/rtl/SysUtils.h\"\n");
    Write("dataaccess/comp/qxZqCompClient.h", "#include \"dataaccess/stan/qxZqStanUtil.h\"\n"
                                              "#include \"platform/dataset/TDataSet.h\"\n");
    Write("platform/dataset/TDataSet.h", "#include \"platform/rtl/SysUtils.h\"\n");
    Write("platform/toolkit/TForm.h", "#include <QWidget>\n#include \"platform/dataset/TDataSet.h\"\n");
    Write("app/manual/map.cpp", "#include \"dataaccess/comp/qxZqCompClient.h\"\n#include \"platform/toolkit/TForm.h\"\n"
                                "#include <QtWidgets/QLabel>\n// #include \"tests/x.h\" in a comment is no include\n");
    EXPECT_EQ(Joined(Check()), "");
}

TEST_F(SmallTree, EachKindOfWrongIncludeIsReportedWhereItIs)
{
    Write("platform/rtl/SysUtils.h", "#pragma once\n");
    Write("platform/toolkit/TForm.h", "#pragma once\n");
    Write("platform/localdb/TTable.h", "#pragma once\n");
    Write("dataaccess/comp/qxZqCompClient.h", "#pragma once\n");
    Write("dataaccess/dats/qxZqDatSTable.h", "#include \"dataaccess/comp/qxZqCompClient.h\"\n"
                                             "#include <QString>\n#include <qglobal.h>\n");
    Write("dataaccess/comp/qxZqCompWait.cpp", "#include \"platform/toolkit/TForm.h\"\n"
                                              "#include \"platform/localdb/TTable.h\"\n");
    Write("platform/dataset/TField.cpp", "  #  include   \"qxZqCompClient.h\"\n#include \"tests/support/Fake.h\"\n");
    Write("tests/support/Fake.h", "#pragma once\n");
    Write("platform/rtl/Classes.cpp", "#include \"platform/rtl/SysUtils.h\"\n#include <QtCore/QObject>\n");
    EXPECT_EQ(Joined(Check()),
              "dataaccess/comp/qxZqCompWait.cpp:1: comp must not include toolkit (platform/toolkit/TForm.h)\n"
              "dataaccess/comp/qxZqCompWait.cpp:2: comp must not include localdb (platform/localdb/TTable.h)\n"
              "dataaccess/dats/qxZqDatSTable.h:1: dats must not include comp (dataaccess/comp/qxZqCompClient.h)\n"
              "dataaccess/dats/qxZqDatSTable.h:2: dats must not include Qt (QString)\n"
              "dataaccess/dats/qxZqDatSTable.h:3: dats must not include Qt (qglobal.h)\n"
              "platform/dataset/TField.cpp:1: \"qxZqCompClient.h\" is not written from the root\n"
              "platform/dataset/TField.cpp:2: dataset must not include tests/support/Fake.h (outside the program and "
              "library)\n"
              "platform/rtl/Classes.cpp:2: rtl must not include Qt (QtCore/QObject)\n");
}

TEST_F(SmallTree, ASourceOutsideEveryModuleIsReported)
{
    Write("platform/newlayer/Thing.cpp", "#include <vector>\n");
    EXPECT_EQ(Joined(Check()), "platform/newlayer/Thing.cpp: lies in no module of the layering\n");
}
