// The regular-expression engine: the input up to its first NUL is the
// pattern, the rest the subject (modifiers in the pattern's own "(?i)"
// form). Compiles or refuses; a search ends in a match, none, or the
// engine's budget error.
#include "dataaccess/stan/qxZqStanRegExpr.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzTargets.h"

int FuzzRegExp(const uint8_t *AData, size_t ASize)
{
    std::string Parts[2];
    fuzz::SplitParts(fuzz::Text(AData, ASize), Parts, 2);
    TRegExpr R;
    // A budget small enough that a pathological pattern costs milliseconds.
    R.SetBudget(2000, 200000);
    R.SetExpression(Parts[0]);
    try {
        R.Compile();
    } catch (const ERegExpr &) {
        return 0;
    }
    try {
        // Every match of the subject, as a search-and-replace loop walks it.
        bool Found = R.Exec(Parts[1]);
        for (int Guard = 0; Found && Guard < 64; ++Guard) {
            for (int I = 0; I <= R.SubExprMatchCount(); ++I)
                (void)R.Match(I);
            Found = R.ExecPos(R.MatchPos(0) + (R.MatchLen(0) > 0 ? R.MatchLen(0) : 1));
        }
    } catch (const ERegExpr &) {
    }
    return 0;
}

MARLIN_FUZZ_ENTRY(FuzzRegExp)
