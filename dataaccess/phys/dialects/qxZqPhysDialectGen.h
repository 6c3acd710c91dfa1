// qxZqPhysDialectGen: the command generators of the DBMS dialects. Each one
// overrides only the texts its server writes differently from the generic
// generator: the inline refresh of a posted row, identity inserts, the last
// identity expression, the one-row table, the lock SELECT, savepoints and
// block calls.
#pragma once

#include "dataaccess/phys/qxZqPhysCmdGenerator.h"

class TZqPhysMSSQLCommandGenerator : public TZqPhysCommandGenerator {
public:
    using TZqPhysCommandGenerator::TZqPhysCommandGenerator;

protected:
    std::string GenerateInlineRefresh(const std::string &AText, TZqPhysRequest ARequest) override;
    std::string GenerateIdentityInsert(const std::string &ATable, const std::string &AText) override;
    std::string GetIdentity() override { return "SCOPE_IDENTITY()"; }
    std::string GenerateLockSelect() override;
    std::string DoGenerateSavepoint(const std::string &AName) override;
    std::string DoGenerateRollbackToSavepoint(const std::string &AName) override;
    std::string DoGenerateCommitSavepoint(const std::string &AName) override;
};

class TZqPhysDB2CommandGenerator : public TZqPhysCommandGenerator {
public:
    using TZqPhysCommandGenerator::TZqPhysCommandGenerator;

protected:
    std::string GetIdentity() override { return "IDENTITY_VAL_LOCAL()"; }
    std::string GenerateLockSelect() override;
    std::string DoGenerateSavepoint(const std::string &AName) override;
    std::string DoGenerateRollbackToSavepoint(const std::string &AName) override;
    std::string DoGenerateCommitSavepoint(const std::string &AName) override;
};

class TZqPhysOracleCommandGenerator : public TZqPhysCommandGenerator {
public:
    using TZqPhysCommandGenerator::TZqPhysCommandGenerator;

protected:
    std::string GenerateInlineRefresh(const std::string &AText, TZqPhysRequest ARequest) override;
    std::string GetSingleRowTable() override { return "DUAL"; }
    std::string GenerateLockSelect() override;
    std::string DoGenerateSavepoint(const std::string &AName) override;
    std::string DoGenerateRollbackToSavepoint(const std::string &AName) override;
    std::string DoGenerateReadIdentity(const std::string &AName) override;
    std::string DoGenerateCall(const std::string &AText) override;
};

class TZqPhysASACommandGenerator : public TZqPhysCommandGenerator {
public:
    using TZqPhysCommandGenerator::TZqPhysCommandGenerator;

protected:
    std::string GetIdentity() override { return "@@IDENTITY"; }
    std::string GenerateLockSelect() override;
    std::string DoGenerateSavepoint(const std::string &AName) override;
    std::string DoGenerateRollbackToSavepoint(const std::string &AName) override;
};

class TZqPhysMySQLCommandGenerator : public TZqPhysDB2CommandGenerator {
public:
    using TZqPhysDB2CommandGenerator::TZqPhysDB2CommandGenerator;

protected:
    std::string GetIdentity() override { return "LAST_INSERT_ID()"; }
    std::string GenerateLockSelect() override;
    std::string DoGenerateSavepoint(const std::string &AName) override { return "SAVEPOINT " + AName; }
    std::string DoGenerateCommitSavepoint(const std::string &) override { return std::string(); }
};

class TZqPhysADSCommandGenerator : public TZqPhysASACommandGenerator {
public:
    using TZqPhysASACommandGenerator::TZqPhysASACommandGenerator;

protected:
    std::string GetIdentity() override { return "LASTAUTOINC(STATEMENT)"; }
    std::string GetSingleRowTable() override { return "SYSTEM.IOTA"; }
    // Advantage has no lock SELECT of its own: the generic one is used.
    std::string GenerateLockSelect() override { return std::string(); }
};

// The Access generator: Jet reads the last counter value through
// @@IDENTITY and has nothing else of its own.
class TZqPhysMSAccCommandGenerator : public TZqPhysCommandGenerator {
public:
    using TZqPhysCommandGenerator::TZqPhysCommandGenerator;

protected:
    std::string GetIdentity() override { return "@@IDENTITY"; }
};

// The generator of a DBMS kind (the generic one for the kinds without their
// own), as a connection creates it for its dialect.
TZqIntfPtr<IZqPhysCommandGenerator> ZqCreateCommandGenerator(const TZqIntfPtr<IZqPhysConnectionMetadata> &AMetadata,
                                                             IZqStanOptions *AOptions,
                                                             IZqPhysCommandNames *ANames = nullptr);
// The generator made for a command: the dialect of the command's connection,
// the command's options, and the command's schema, catalog and base object
// names. The command must have a connection; whoever holds the generator
// holds the command too (the adapter keeps both).
TZqIntfPtr<IZqPhysCommandGenerator> ZqCreateCommandGenerator(const TZqIntfPtr<IZqPhysCommand> &ACommand);
