// The contour polygon reader on header numbers that no int holds, and on
// polygons that enclose no area.
#include "app/Globals.h"
#include "app/manual/map.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

namespace {

class ContourReader : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    std::string Write(const std::string &Text)
    {
        const std::string Path = Dir.path().toStdString() + "/c.bln";
        std::ofstream(Path, std::ios::binary) << Text;
        return Path;
    }
    int ErrorOf(const std::string &Text)
    {
        try {
            ReadContourFile(Write(Text), false);
        } catch (const EInOutError &E) {
            return E.ErrorCode;
        }
        return 0;
    }
};

} // namespace

TEST_F(ContourReader, CountsBeyondAnyIntAreInvalidNumbers)
{
    EXPECT_EQ(ErrorOf("1e10\n35 0\n"), 106);
    EXPECT_EQ(ErrorOf("-1e300 0\n"), 106);
    EXPECT_EQ(ErrorOf("1e999\n"), 106); // read as infinity
    EXPECT_EQ(ErrorOf("2.5\n35 0\n36 0\n"), 106);
    EXPECT_EQ(ErrorOf("3 0\n35 0\n36 0\n35 1\n"), 0);
}

TEST_F(ContourReader, AFileWhoseAreasEncloseNoAreaIsRefused)
{
    EXPECT_EQ(ErrorOf("0 0\n"), 106);
    EXPECT_EQ(ErrorOf("3 0\n35 0\n36 1\n37 2\n"), 106);     // on one line
    EXPECT_EQ(ErrorOf("3 1\n35 0\n36 0\n35 1\n"), 106);     // only a hole
    EXPECT_EQ(ErrorOf("0 0\n4 0\n35 0\n35 0\n36 0\n35 1\n"), 0); // one area is enough
}

TEST_F(ContourReader, AKindBeyondAnyIntIsAHole)
{
    const auto File = ReadContourFile(Write("1 1e10\n35 0\n1 -1e300\n36 1\n3 0\n37 2\n38 2\n37 3\n1\n38 3\n"), false);
    ASSERT_EQ(File.size(), 4u);
    EXPECT_NE(File[0].Kind, 0);
    EXPECT_NE(File[1].Kind, 0);
    EXPECT_EQ(File[2].Kind, 0);
    EXPECT_EQ(File[3].Kind, 0);
    EXPECT_EQ(File[0].Points[0].x, 0); // latitude first: longitude 0
    EXPECT_EQ(File[0].Points[0].y, 35);
}
