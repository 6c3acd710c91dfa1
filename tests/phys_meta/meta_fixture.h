// The driver-layer fixture with helpers for the fake catalog: rows of a
// catalog query kind, the connection's metadata, a switch of dialect.
#pragma once

#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/phys/qxZqPhysConnMeta.h"
#include "tests/support/phys_fixture.h"

class MetaFixture : public PhysFixture {
public:
    // A catalog row of a kind; values from CATALOG_NAME on, "" for NULL.
    static void Catalog(TZqPhysMetaInfoKind AKind, const std::vector<rtl::Variant> &AValues)
    {
        fake::TCatalogRow R;
        R.Kind = AKind;
        for (const rtl::Variant &V : AValues)
            R.Values.push_back(V.IsEmpty() || (V.AsString().empty() && !V.IsNull()) ? rtl::Variant::Null() : V);
        fake::Script().Catalog.push_back(R);
    }
    // The values of one column of a view, in view order.
    static std::vector<std::string> Column(const TZqPhysMetaView &AView, const char *AName)
    {
        std::vector<std::string> R;
        for (int I = 0; I < AView.RowCount(); ++I) {
            const rtl::Variant V = AView.Value(I, AName);
            R.push_back(V.IsNull() ? "<null>" : V.AsString());
        }
        return R;
    }
    // The names of the key columns of a defined table.
    static std::vector<std::string> KeyColumns(TZqDatSTable *ATable)
    {
        std::vector<std::string> R;
        for (int I = 0; I < ATable->Columns()->Count(); ++I)
            if (ATable->Columns()->GetItem(I)->Options().Contains(coInKey))
                R.push_back(ATable->Columns()->GetItem(I)->Name());
        return R;
    }

protected:
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta()
    {
        TZqIntfPtr<IZqPhysConnectionMetadata> M;
        Conn->CreateMetadata(M);
        return M;
    }
    // New metadata of the dialect: the connection forgets its metadata on
    // a reconnect.
    void UseDialect(TZqRDBMSKind AKind)
    {
        fake::Script().Dialect = AKind;
        Conn->Close();
        Conn->Open();
        fake::MetaLog().clear();
    }
};
