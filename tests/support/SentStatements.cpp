// Reader of the statements file.
#include "tests/support/SentStatements.h"

#include "tests/support/TestEnvironment.h"

#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {

[[noreturn]] void Fail(int ALine, const std::string &AWhat)
{
    throw std::runtime_error("statements file, line " + std::to_string(ALine) + ": " + AWhat);
}

std::string Unescape(const std::string &AText)
{
    std::string R;
    for (size_t I = 0; I < AText.size(); ++I) {
        if (AText[I] == '\\' && I + 1 < AText.size() && AText[I + 1] == 'n') {
            R += '\n';
            ++I;
        } else {
            R += AText[I];
        }
    }
    return R;
}

std::string After(const std::string &ALine, const std::string &AKey)
{
    return ALine.size() > AKey.size() ? ALine.substr(AKey.size() + 1) : std::string();
}

int CountOf(const std::string &AText, int ALine)
{
    size_t Used = 0;
    int N = -1;
    try {
        N = std::stoi(AText, &Used);
    } catch (const std::exception &) {
        Fail(ALine, "a count expected, not \"" + AText + "\"");
    }
    if (Used != AText.size() || N < 0)
        Fail(ALine, "a count expected, not \"" + AText + "\"");
    return N;
}

void ReadOutcome(TSentStatement &S, const std::string &AText, int ALine)
{
    const size_t Blank = AText.find(' ');
    S.Outcome = AText.substr(0, Blank);
    const std::string Arg = Blank == std::string::npos ? std::string() : AText.substr(Blank + 1);
    if (S.Outcome == "ok" && Arg.empty())
        return;
    if (S.Outcome == "rows" || S.Outcome == "params") {
        S.Count = CountOf(Arg, ALine);
        return;
    }
    if (S.Outcome == "error" && Arg.size() == 5) {
        S.State = Arg;
        return;
    }
    Fail(ALine, "unknown outcome \"" + AText + "\"");
}

} // namespace

std::vector<TSentStatement> ParseSentStatements(const std::string &AContent)
{
    static const std::set<std::string> Kinds = {"select", "insert", "update", "delete", "create", "drop"};
    std::vector<TSentStatement> All;
    std::set<std::string> Names;
    std::istringstream In(AContent);
    std::string Line;
    int No = 0;
    TSentStatement *Cur = nullptr;
    enum { Header, Text, Output } Part = Header;
    auto Close = [&] {
        if (!Cur)
            return;
        if (Cur->Kind.empty() || Cur->Outcome.empty() || Cur->Text.empty())
            Fail(Cur->Line, "statement " + Cur->Name + " needs kind, driver and a text");
        if (Part != Output)
            Cur->Preprocessed = Cur->Text;
        Cur = nullptr;
    };
    while (std::getline(In, Line)) {
        ++No;
        if (!Line.empty() && Line.back() == '\r')
            Fail(No, "carriage return in the file");
        if (!Cur) {
            if (Line.empty() || Line[0] == '#')
                continue;
            if (Line.rfind("statement ", 0) != 0)
                Fail(No, "\"statement <name>\" expected");
            All.emplace_back();
            Cur = &All.back();
            Cur->Name = After(Line, "statement");
            Cur->Line = No;
            Part = Header;
            if (Cur->Name.empty() || Cur->Name.find(' ') != std::string::npos)
                Fail(No, "a statement needs one name without blanks");
            if (!Names.insert(Cur->Name).second)
                Fail(No, "statement " + Cur->Name + " named twice");
            continue;
        }
        if (Line.empty()) {
            Close();
            continue;
        }
        if (Part == Header && Line.rfind("kind ", 0) == 0) {
            const std::string Rest = After(Line, "kind");
            const size_t Blank = Rest.find(' ');
            Cur->Kind = Rest.substr(0, Blank);
            if (!Kinds.count(Cur->Kind))
                Fail(No, "unknown kind \"" + Cur->Kind + "\"");
            if (Blank != std::string::npos)
                Cur->FromObject = Unescape(Rest.substr(Blank + 1));
        } else if (Part == Header && Line.rfind("driver ", 0) == 0) {
            ReadOutcome(*Cur, After(Line, "driver"), No);
        } else if (Part != Output && Line == "----") {
            if (Part != Text)
                Fail(No, "\"----\" before the text");
            Part = Output;
        } else if (Part == Output) {
            Cur->Preprocessed += (Cur->Preprocessed.empty() ? "" : "\n") + Line;
        } else {
            Part = Text;
            Cur->Text += (Cur->Text.empty() ? "" : "\n") + Line;
        }
    }
    Close();
    return All;
}

const std::vector<TSentStatement> &SentStatements()
{
    static const std::vector<TSentStatement> All = [] {
        const std::string Path = SourceDir() + "tests/support/statements.txt";
        std::ifstream In(Path, std::ios::binary);
        if (!In)
            throw std::runtime_error("cannot read " + Path);
        std::ostringstream Content;
        Content << In.rdbuf();
        return ParseSentStatements(Content.str());
    }();
    return All;
}

const TSentStatement &SentStatement(const std::string &AName)
{
    for (const TSentStatement &S : SentStatements())
        if (S.Name == AName)
            return S;
    throw std::out_of_range("no statement " + AName + " in the statements file");
}

std::string WithDatabase(const std::string &AText, const std::string &ADbPath)
{
    const bool HasExt = ADbPath.size() > 4 && ADbPath.compare(ADbPath.size() - 4, 4, ".mdb") == 0;
    const std::string Bare = HasExt ? ADbPath.substr(0, ADbPath.size() - 4) : ADbPath;
    // One pass over the text, so that a path is never filled into again.
    std::string R;
    for (size_t P = 0; P < AText.size();) {
        if (AText.compare(P, 5, "@MDB@") == 0) {
            R += ADbPath;
            P += 5;
        } else if (AText.compare(P, 4, "@DB@") == 0) {
            R += Bare;
            P += 4;
        } else {
            R += AText[P++];
        }
    }
    return R;
}

} // namespace testsupport
