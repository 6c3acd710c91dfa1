// The expression parser and evaluator over any text, as a filter and as a
// value, under every combination of case-insensitive and partial comparison
// (a dataset's filter options), evaluated on a row of values and a row of
// nulls: a value or the library's error.
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

#include <vector>

using rtl::Variant;

namespace {

// Three typed columns and two rows; sub-aggregates read back as 1.
class TRows : public TZqObject, public virtual IZqStanExpressionDataSource {
public:
    int GetVarIndex(const std::string &AName) override
    {
        for (size_t I = 0; I < std::size(Names); ++I)
            if (rtl::SameText(Names[I], AName))
                return int(I);
        return -1;
    }
    TZqDataType GetVarType(int AIndex) override { return Types[size_t(AIndex) % std::size(Types)]; }
    TZqExpressionScopeKind GetVarScope(int) override { return ckField; }
    void GetVarData(int AIndex, Variant &AValue) override { AValue = Rows[Current][size_t(AIndex) % 3]; }
    void SetVarData(int AIndex, const Variant &AValue) override { Rows[Current][size_t(AIndex) % 3] = AValue; }
    void GetSubAggregateValue(int, Variant &AValue) override { AValue = Variant(1.0); }
    void *GetPosition() override { return reinterpret_cast<void *>(Current); }
    void SetPosition(void *AValue) override { Current = reinterpret_cast<size_t>(AValue) % 2; }
    int GetRowNum() override { return int(Current) + 1; }

    static constexpr const char *Names[] = {"x", "Name", "Due"};
    static constexpr TZqDataType Types[] = {dtDouble, dtAnsiString, dtDateTime};
    std::vector<Variant> Rows[2] = {{Variant(3.0), Variant("Alpha"), Variant::FromDate(40000.25)},
                                    {Variant::Null(), Variant(""), Variant()}};
    size_t Current = 0;
};

} // namespace

int FuzzExpression(const uint8_t *AData, size_t ASize)
{
    const std::string Text(fuzz::Text(AData, ASize));
    TZqIntfPtr<TRows> DS(new TRows());
    const TZqExpressionOptions Options[] = {{}, {ekNoCase}, {ekPartial}, {ekNoCase, ekPartial}};
    for (const TZqParserOptions Parser : {TZqParserOptions{poBoolean}, TZqParserOptions{poValue}})
        for (const TZqExpressionOptions &Opts : Options) {
            TZqIntfPtr<IZqStanExpressionEvaluator> E;
            try {
                TZqIntfPtr<TZqExpressionParser> P(new TZqExpressionParser());
                E = P->Prepare(DS.Get(), Text, Opts, Parser, "");
            } catch (const rtl::Exception &) {
                continue;
            }
            for (size_t Row = 0; Row < 2; ++Row) {
                DS->Current = Row;
                Variant V;
                try {
                    for (int A = 0; A < E->GetSubAggregateCount(); ++A)
                        E->EvaluateSubAggregate(A, V);
                    E->Evaluate(V);
                } catch (const rtl::Exception &) {
                }
            }
        }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzExpression)
