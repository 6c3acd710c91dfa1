// The contour polygon reader on header numbers that no int holds.
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
    EXPECT_EQ(ErrorOf("1 0\n35 0\n"), 0);
}

TEST_F(ContourReader, AKindBeyondAnyIntIsAHole)
{
    const auto File = ReadContourFile(Write("1 1e10\n35 0\n1 -1e300\n36 1\n1 0\n37 2\n1\n38 3\n"), false);
    ASSERT_EQ(File.size(), 4u);
    EXPECT_NE(File[0].Kind, 0);
    EXPECT_NE(File[1].Kind, 0);
    EXPECT_EQ(File[2].Kind, 0);
    EXPECT_EQ(File[3].Kind, 0);
    EXPECT_EQ(File[0].Points[0].x, 0); // latitude first: longitude 0
    EXPECT_EQ(File[0].Points[0].y, 35);
}
