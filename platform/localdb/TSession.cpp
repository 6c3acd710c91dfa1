// TSession: private folder, table names, folder transactions.
#include "platform/localdb/TSession.h"

#include <filesystem>

#include "platform/localdb/LocalEngine.h"

namespace fs = std::filesystem;

TSession Session;

void TSession::SetPrivateDir(const std::string &AValue)
{
    FPrivateDir = AValue;
    std::error_code Ec;
    if (!AValue.empty())
        fs::create_directories(AValue, Ec);
}

void TSession::Close()
{
    TLocalDatabase::CloseAll();
    if (FPrivateDir.empty())
        return;
    std::error_code Ec;
    for (const auto &E : fs::directory_iterator(FPrivateDir, Ec))
        fs::remove_all(E.path(), Ec);
}

void TSession::GetTableNames(const std::string &AFolder, std::vector<std::string> &AList)
{
    TLocalDatabase &Db = TLocalDatabase::ForFolder(AFolder);
    TLocalStatement S(Db.Handle(), "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
    while (S.Step())
        AList.push_back(S.Column(0).AsText());
}

bool TSession::TableExists(const std::string &APath) { return LocalTableFileExists(APath); }

void TSession::StartTransaction(const std::string &AFolder)
{
    TLocalDatabase::ForFolder(AFolder).BeginTransaction();
}

void TSession::Commit(const std::string &AFolder) { TLocalDatabase::ForFolder(AFolder).Commit(); }

void TSession::Rollback(const std::string &AFolder) { TLocalDatabase::ForFolder(AFolder).Rollback(); }
