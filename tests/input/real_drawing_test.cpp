// Drawings written by other programs: public files kept in tests/data/realdxf, and drawings
// made on the spot with ezdxf when it is installed.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/dxf_reader.hpp"
#include "reader_test_support.hpp"

namespace {

using namespace readertest;

const std::string realDxf = std::string(KELMAR_TEST_DATA) + "/realdxf/";

struct RealRow {
    std::string file;
    std::vector<std::size_t> pointCounts;
    Point firstPoint;  // point 1 of curve 1
    Point lastPoint;   // last point of the last curve
    bool readFromLwpolylines;
};
void PrintTo(const RealRow& row, std::ostream* os) { *os << row.file; }

// Counts and coordinates taken from the files by hand (see realdxf/README.md).
const std::vector<RealRow> realRows = {
    {"gdal_polyline_smooth.dxf", {5}, {251297.8179190048L, 412226.82864000782L},
     {251303.57075799999L, 412231.72690827277L}, false},
    {"gdal_LWPOLYLINE-OCS.dxf", {4, 4, 4, 4, 4, 4}, {603822.815L, 3153052.202L}, {608627.326L, 3139244.385L}, false},
    {"ezdxf_POLI-ALL210_12.DXF",
     {5, 4, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5},
     {-6.255607057780904L, -5.5557016588601824L}, {-1.43115009573925L, -0.3524739066969L}, false},
    {"gdal_closed_polyline_with_bulge.dxf", {8}, {40585366.70650577L, 3433935.538090975L},
     {40585364.24837356L, 3433925.992208718L}, true},
};

class RealDrawing : public ReaderTest<::testing::TestWithParam<RealRow>> {};

TEST_P(RealDrawing, IsReadCurveByCurve) {
    const RealRow& row = GetParam();
    CurveStore store;
    ::testing::internal::CaptureStderr();
    const Ending ending = endingOf([&] { return readDxfPolylines(realDxf + row.file, store); });
    const std::string note = ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(ending.ended) << ending.run.sentence;

    ASSERT_EQ(store.curves.size(), row.pointCounts.size());
    for (std::size_t j = 0; j < row.pointCounts.size(); ++j) {
        EXPECT_EQ(store.curves[j].x.size(), row.pointCounts[j]) << "curve " << j + 1;
        EXPECT_EQ(store.curves[j].y.size(), row.pointCounts[j]) << "curve " << j + 1;
    }
    EXPECT_EQ(store.curves.front().x.front(), row.firstPoint.x);
    EXPECT_EQ(store.curves.front().y.front(), row.firstPoint.y);
    EXPECT_EQ(store.curves.back().x.back(), row.lastPoint.x);
    EXPECT_EQ(store.curves.back().y.back(), row.lastPoint.y);
    EXPECT_EQ(note.find("read instead, one curve each") != std::string::npos, row.readFromLwpolylines)
        << note;
}

INSTANTIATE_TEST_SUITE_P(PublicFiles, RealDrawing, ::testing::ValuesIn(realRows), [](const auto& info) {
    std::string name;
    for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

// Its vertices write "10" at the left: the scanner would run past SEQEND into the next
// polyline, take its header's 0.0 and fit garbage. It must be rejected instead.
TEST_F(RealDrawing, LeftAlignedGroupCodesAreRejectedWithAHint) {
    CurveStore store;
    expectEnding(endingOf([&] { return readDxfPolylines(realDxf + "dxfparser_polylines_letters.dxf", store); }),
                 {exitStatus::dataError, false,
                  {"the VERTEX on line 20 of ", "line 32 (VERTEX) comes before any ' 10' group code",
                   "group codes at the left"}});
}

// The same file as CR LF, and cut after its first polyline, ends the same way.
TEST_F(RealDrawing, LeftAlignedGroupCodesAreRejectedWhateverTheLineEnds) {
    std::ifstream in(realDxf + "dxfparser_polylines_letters.dxf", std::ios::binary);
    std::string text, line;
    while (std::getline(in, line)) text += line + "\r\n";
    CurveStore store;
    expectEnding(endingOf([&] { return readDxfPolylinesFromText(text, "letters.dxf", store); }),
                 {exitStatus::dataError, false, {"the VERTEX on line 20 ", "line 32 (VERTEX)", "at the left"}});
}

// ------------------------------------------------------------------ drawings made with ezdxf

const char* const systemPython = "/usr/bin/python3";

bool ezdxfAvailable() {
    const std::string command = std::string(systemPython) + " -c 'import ezdxf' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

class EzdxfDrawing : public ReaderTest<::testing::Test> {
protected:
    void SetUp() override {
        ReaderTest::SetUp();
        if (!ezdxfAvailable()) GTEST_SKIP() << "python3-ezdxf is not installed";
        char pattern[] = "/tmp/kelmar-ezdxf-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override {
        if (!directory.empty()) std::filesystem::remove_all(directory);
    }

    /// Runs `script` with ezdxf imported and `out` set to the file to write.
    std::string draw(const std::string& fileName, const std::string& script) {
        const std::string path = directory + "/" + fileName;
        const std::string scriptPath = directory + "/draw.py";
        std::ofstream(scriptPath) << "import ezdxf\nout = '" << path << "'\n" << script;
        const std::string command = std::string(systemPython) + " " + scriptPath;
        EXPECT_EQ(std::system(command.c_str()), 0) << script;
        return path;
    }

    std::string directory;
};

TEST_F(EzdxfDrawing, R12PolylinesAreRead) {
    const std::string path = draw("rings_r12.dxf", R"(
doc = ezdxf.new('R12')
msp = doc.modelspace()
msp.add_polyline2d([(100, 0), (0, 60.5), (-100, 0), (0, -60.5)], close=True)
msp.add_polyline2d([(110.25, 0), (0, 70.75), (-110.25, 0)])
msp.add_line((0, 0), (5, 5))
doc.saveas(out)
)");
    CurveStore store;
    expectRead(readDxfPolylines(path, store));
    expectCurves(store, {{{100, 0}, {0, 60.5}, {-100, 0}, {0, -60.5}}, {{110.25, 0}, {0, 70.75}, {-110.25, 0}}});
}

TEST_F(EzdxfDrawing, CurrentVersionLwpolylinesAreReadInstead) {
    const std::string path = draw("rings_lw.dxf", R"(
doc = ezdxf.new()
msp = doc.modelspace()
msp.add_lwpolyline([(100, 0, 0, 0, 0.5), (0, 60.5), (-100, 0), (0, -60.5)], close=True)
msp.add_circle((0, 0), 3)
msp.add_lwpolyline([(-7.5, 8)])
doc.saveas(out)
)");
    CurveStore store;
    ::testing::internal::CaptureStderr();
    expectRead(readDxfPolylines(path, store));
    const std::string note = ::testing::internal::GetCapturedStderr();
    expectCurves(store, {{{100, 0}, {0, 60.5}, {-100, 0}, {0, -60.5}}, {{-7.5, 8}}});
    EXPECT_NE(note.find("2 LWPOLYLINE entities were read instead"), std::string::npos) << note;
}

TEST_F(EzdxfDrawing, CurrentVersionPolylinesOutrankLwpolylines) {
    const std::string path = draw("mixed.dxf", R"(
doc = ezdxf.new()
msp = doc.modelspace()
msp.add_lwpolyline([(1, 2), (3, 4)])
msp.add_polyline2d([(5, 6), (7, 8)])
msp.add_polyline3d([(9, 10, 11), (12, 13, 14), (15, 16, 17)])
doc.saveas(out)
)");
    CurveStore store;
    expectRead(readDxfPolylines(path, store));
    expectCurves(store, {{{5, 6}, {7, 8}}, {{9, 10}, {12, 13}, {15, 16}}});
}

TEST_F(EzdxfDrawing, DrawingWithoutPolylinesSaysWhatItHolds) {
    const std::string path = draw("no_polylines.dxf", R"(
doc = ezdxf.new()
msp = doc.modelspace()
msp.add_spline([(0, 0), (1, 2), (3, 1), (4, 4)])
for i in range(3):
    msp.add_line((0, i), (1, i))
doc.saveas(out)
)");
    CurveStore store;
    expectEnding(endingOf([&] { return readDxfPolylines(path, store); }),
                 {exitStatus::dataError, false, {"no POLYLINE or LWPOLYLINE after ENTITIES; the file holds 1 SPLINE "
                                                 "and 3 LINE entities"}});
}

}  // namespace
