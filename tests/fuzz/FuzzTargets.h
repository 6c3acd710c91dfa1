// Every fuzz target: its corpus folder name and its function. The replay
// test walks this list; the libFuzzer tree builds one program per entry.
#pragma once

#include <cstddef>
#include <cstdint>

#define MARLIN_FUZZ_TARGETS(X)                                                                                    \
    X(preprocessor, FuzzPreprocessor)                                                                             \
    X(jet_translator, FuzzJetTranslator)                                                                          \
    X(local_sql, FuzzLocalSql)                                                                                    \
    X(expression, FuzzExpression)                                                                                 \
    X(regexp, FuzzRegExp)                                                                                         \
    X(ini, FuzzIni)                                                                                               \
    X(connection_string, FuzzConnectionString)                                                                    \
    X(grid, FuzzGrid)                                                                                             \
    X(demo_grid, FuzzDemoGrid)                                                                                    \
    X(coastline, FuzzCoastline)                                                                                   \
    X(extra_lines, FuzzExtraLines)                                                                                \
    X(squares, FuzzSquares)                                                                                       \
    X(contour, FuzzContour)                                                                                       \
    X(climatology, FuzzClimatology)                                                                               \
    X(axes, FuzzAxes)

#define MARLIN_FUZZ_DECLARE(Name, Function) int Function(const uint8_t *AData, size_t ASize);
MARLIN_FUZZ_TARGETS(MARLIN_FUZZ_DECLARE)
#undef MARLIN_FUZZ_DECLARE
