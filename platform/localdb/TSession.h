// TSession: the engine's process-wide session.
//
// PrivateDir is the folder for the engine's scratch files; the program sets
// it at start and the session empties it when it closes. The session also
// answers which tables a folder has and whether one exists, and groups many
// writes to one folder into one transaction.
#pragma once

#include <string>
#include <vector>

class TSession {
public:
    const std::string &PrivateDir() const { return FPrivateDir; }
    // Creates the folder when it does not exist.
    void SetPrivateDir(const std::string &AValue);
    // Empties the private folder and closes every work database (every
    // table and query must be closed before).
    void Close();
    void GetTableNames(const std::string &AFolder, std::vector<std::string> &AList);
    // "Folder/Name.db" (or without ".db"): asked of the engine.
    bool TableExists(const std::string &APath);
    void StartTransaction(const std::string &AFolder);
    void Commit(const std::string &AFolder);
    void Rollback(const std::string &AFolder);

private:
    std::string FPrivateDir;
};

extern TSession Session;
