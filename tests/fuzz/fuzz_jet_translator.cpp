// The station driver's Jet translator over any text, with CURRENCY and
// DATETIME columns and an insert target in context so that the scaling and
// the date rewrites run too: a translation or a Jet error, nothing else.
#include "platform/accessodbc/JetSqlTranslator.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzJetTranslator(const uint8_t *AData, size_t ASize)
{
    const std::string Sql(fuzz::Text(AData, ASize));
    jet::TJetTranslateContext Plain;
    Plain.DatabasePath = "/data/black2007.mdb";
    jet::TJetTranslateContext Money = Plain;
    Money.CurrencyColumns = {"A", "PRICE", "COST"};
    Money.InsertTargetColumns = {"ID", "A", "PRICE", "NAME"};
    Money.DateColumns = {"B", "D", "DATE_CAST", "TIME_CAST"};
    for (const jet::TJetTranslateContext *Context : {&Plain, &Money}) {
        try {
            (void)jet::TranslateJetSql(Sql, *Context);
        } catch (const jet::TJetSqlError &) {
        }
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzJetTranslator)
