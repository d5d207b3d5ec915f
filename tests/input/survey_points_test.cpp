// Survey point files and plan pieces: which columns are coordinates, which lines are points,
// how pieces become rings, and kelmar's own point list told apart by its content.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "input/plan_pieces.hpp"
#include "input/survey_points.hpp"

namespace {

struct SurveyRow {
    std::string name;
    std::string text;
    std::string columns;
    std::string ringBy;
    std::size_t points;        // pieces read; 0 when refused
    double firstX, firstY;     // the first point
    std::string firstGroup;    // its --ring-by value
    std::string firstId;
    std::string problemPart;   // a part of the sentence when refused
};
void PrintTo(const SurveyRow& row, std::ostream* os) { *os << row.name; }

class SurveyFile : public ::testing::TestWithParam<SurveyRow> {};

TEST_P(SurveyFile, TakesItsCoordinatesAndNeverAPointNumber) {
    const SurveyRow& row = GetParam();
    const SurveyReading reading = readSurveyPoints(row.text, "pts.csv", "pts", row.columns, row.ringBy);
    if (row.points == 0) {
        ASSERT_TRUE(reading.problem.has_value());
        EXPECT_NE(reading.problem->find(row.problemPart), std::string::npos) << *reading.problem;
        return;
    }
    ASSERT_FALSE(reading.problem.has_value()) << *reading.problem;
    ASSERT_EQ(reading.pieces.size(), row.points);
    const PlanPiece& first = reading.pieces.front();
    EXPECT_TRUE(first.isPoint);
    EXPECT_EQ(first.layer, "pts");
    EXPECT_DOUBLE_EQ(static_cast<double>(first.points.x[0]), row.firstX);
    EXPECT_DOUBLE_EQ(static_cast<double>(first.points.y[0]), row.firstY);
    EXPECT_EQ(first.group, row.firstGroup);
    EXPECT_EQ(first.id, row.firstId);
}

INSTANTIATE_TEST_SUITE_P(
    Survey, SurveyFile,
    ::testing::Values(
        SurveyRow{"headerIdENHCode", "id,E,N,H,code\n101,2400010.5,5000020.25,101.2,A1\n102,2400011,5000021,101.3,A1\n",
                  "", "code", 2, 2400010.5, 5000020.25, "A1", "101", ""},
        SurveyRow{"semicolonsAndDecimalCommas", "X;Y\n24,960;14,537\n25,5;15\n", "", "", 2, 24.96, 14.537, "", "line 2", ""},
        SurveyRow{"blankSeparatedEastNorth", "# site survey\nPoint East North\nP1  10.5 20.5\nP2 11 21\n", "", "", 2, 10.5,
                  20.5, "", "P1", ""},
        SurveyRow{"quotedHeaderNames", "\"Nr\",\"Easting\",\"Northing\"\n7,1.5,2.5\n", "", "", 1, 1.5, 2.5, "", "7", ""},
        SurveyRow{"twoColumnsWithoutHeader", "1.5 2.5\n3.5 4.5\n5 6\n", "", "", 3, 1.5, 2.5, "", "line 1", ""},
        SurveyRow{"pointNumbersWithoutHeader", "1 24.960 14.537\n2 25.1 14.9\n", "", "", 2, 24.96, 14.537, "", "1", ""},
        SurveyRow{"countLineThenNumberedPoints", "96\n1 24.960 14.537\n2 25.1 14.9\n", "", "", 2, 24.96, 14.537, "", "1", ""},
        SurveyRow{"columnsByNumber", "7 a 1.5 2.5 R\n8 b 3 4 R\n", "3,4,5", "", 2, 1.5, 2.5, "R", "line 1", ""},
        SurveyRow{"columnsByName", "p,q,r\n1,2,3\n", "r,q", "", 1, 3, 2, "", "line 2", ""},
        SurveyRow{"ringByIsCaseBlind", "id,X,Y,Code\n1,5,6,W\n", "", "CODE", 1, 5, 6, "W", "1", ""},
        SurveyRow{"columnBeyondTheFile", "1 2\n", "1,9", "", 0, 0, 0, "", "", "does not have: its columns are '1', '2'"},
        SurveyRow{"headerWithoutCoordinates", "id,a,b\n1,2,3\n", "", "", 0, 0, 0, "", "", "names no column of X"},
        SurveyRow{"ringByNoColumn", "id,X,Y\n1,2,3\n", "", "code", 0, 0, 0, "", "", "--ring-by 'code' names no column"},
        SurveyRow{"coordinateNotANumber", "X,Y\n1,2\n3,abc\n", "", "", 0, 0, 0, "", "", "the Y of line 3 of 'pts.csv'"},
        SurveyRow{"shortLine", "X Y Z\n1 2 3\n4\n", "", "", 0, 0, 0, "", "", "line 3 of 'pts.csv' has 1 columns"},
        SurveyRow{"headerOnly", "X,Y\n", "", "", 0, 0, 0, "", "", "no line of points"},
        SurveyRow{"columnsMalformed", "1 2\n", "1", "", 0, 0, 0, "", "", "--columns takes X,Y or X,Y,RING"}),
    [](const auto& info) { return info.param.name; });

struct OwnListRow {
    std::string name;
    std::string text;
    bool own;
};
void PrintTo(const OwnListRow& row, std::ostream* os) { *os << row.name; }

class OwnPointList : public ::testing::TestWithParam<OwnListRow> {};

TEST_P(OwnPointList, IsToldByItsContent) { EXPECT_EQ(isOwnPointList(GetParam().text), GetParam().own); }

INSTANTIATE_TEST_SUITE_P(
    Survey, OwnPointList,
    ::testing::Values(OwnListRow{"countThenPairs", "3\n0 0\n1 1\n2 3\n", true},
                      OwnListRow{"countAlone", "  12 \r\n", true},
                      OwnListRow{"countThenNumberedPoints", "96\n1 24.960 14.537\n", false},
                      OwnListRow{"surveyHeader", "X Y\n1 2\n", false},
                      OwnListRow{"pairsWithoutCount", "1.5 2\n3 4\n", false},
                      OwnListRow{"negativeCount", "-3\n1 2\n", false},
                      OwnListRow{"decimalFirstLine", "3.5\n1 2\n", false}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- pieces into rings

PlanPiece piece(const std::string& layer, const std::string& id, std::vector<double> xy, bool isPoint = false,
                const std::string& group = "") {
    PlanPiece p;
    p.layer = layer;
    p.id = id;
    p.group = group;
    p.isPoint = isPoint;
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2) {
        p.points.x.push_back(xy[i]);
        p.points.y.push_back(xy[i + 1]);
    }
    return p;
}

struct GroupingRow {
    std::string name;
    RingGrouping grouping;
    std::vector<std::size_t> points;      // per ring
    std::vector<std::string> layers;      // per ring
    std::vector<std::string> groups;      // per ring
    std::vector<std::size_t> pieceCounts; // per ring
};
void PrintTo(const GroupingRow& row, std::ostream* os) { *os << row.name; }

class PiecesIntoRings : public ::testing::TestWithParam<GroupingRow> {};

TEST_P(PiecesIntoRings, GroupsAndNamesTheirSources) {
    // Two curves of WALL (one closed by a repeated first vertex), points of PTS and wall, an empty curve.
    const std::vector<PlanPiece> pieces = {
        piece("WALL", "2F", {0, 0, 1, 0, 1, 1, 0, 0}, false, "a"),
        piece("PTS", "30", {5, 5}, true, "b"),
        piece("wall", "31", {2, 0, 3, 0}, false, "a"),
        piece("PTS", "32", {6, 6}, true, "a"),
        piece("EMPTY", "33", {}, false, "c"),
    };
    const GroupingRow& row = GetParam();
    const CurveStore store = ringsOfPieces(pieces, row.grouping);
    ASSERT_EQ(store.curves.size(), row.points.size());
    ASSERT_EQ(store.sources.size(), row.points.size());
    for (std::size_t j = 0; j < row.points.size(); ++j) {
        EXPECT_EQ(store.curves[j].x.size(), row.points[j]) << "ring " << j + 1;
        EXPECT_EQ(store.curves[j].y.size(), row.points[j]) << "ring " << j + 1;
        EXPECT_EQ(store.sources[j].layer, row.layers[j]) << "ring " << j + 1;
        EXPECT_EQ(store.sources[j].group, row.groups[j]) << "ring " << j + 1;
        EXPECT_EQ(store.sources[j].pieces.size(), row.pieceCounts[j]) << "ring " << j + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, PiecesIntoRings,
    ::testing::Values(
        GroupingRow{"eachCurveARingThePointsOfALayerOne", RingGrouping::ByPiece, {3, 2, 2}, {"WALL", "PTS", "wall"},
                    {"", "", ""}, {1, 2, 1}},
        GroupingRow{"byLayerWithoutRegardToCase", RingGrouping::ByLayer, {5, 2}, {"WALL", "PTS"}, {"WALL", "PTS"},
                    {2, 2}},
        GroupingRow{"byFieldAcrossLayers", RingGrouping::ByField, {6, 1}, {"WALL, PTS", "PTS"}, {"a", "b"}, {3, 1}}),
    [](const auto& info) { return info.param.name; });

TEST(PlanPieces, KeepsTheLayersNamedAndFindsAnUnknownName) {
    const std::vector<PlanPiece> pieces = {piece("RINGS", "1", {0, 0}), piece("SITE", "2", {0, 0}),
                                           piece("rings", "3", {0, 0})};
    const std::vector<PlanPiece> kept = piecesOnLayers(pieces, {"Rings"});
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[1].id, "3");
    EXPECT_EQ(piecesOnLayers(pieces, {}).size(), 3u);
    EXPECT_EQ(unknownLayer({"rings", "Road"}, {"RINGS", "SITE"}), std::optional<std::string>("Road"));
    EXPECT_FALSE(unknownLayer({"site"}, {"RINGS", "SITE"}).has_value());
    EXPECT_EQ(quotedList({"a", "b", "c"}, 2), "'a', 'b' and 1 more");
}

TEST(PlanPieces, DropsOnlyARepeatedClosingVertex) {
    Curve closed = piece("L", "1", {0, 0, 1, 0, 0, 0}).points;
    dropRepeatedClosingVertex(closed);
    EXPECT_EQ(closed.x.size(), 2u);
    Curve open = piece("L", "1", {0, 0, 1, 0, 0, 1e-12}).points;
    dropRepeatedClosingVertex(open);
    EXPECT_EQ(open.x.size(), 3u);
    Curve single = piece("L", "1", {4, 4}).points;
    dropRepeatedClosingVertex(single);
    EXPECT_EQ(single.x.size(), 1u);
}

}  // namespace
