#include "base/ring_source.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct SourceRow {
    std::string name;
    RingSource source;
    std::size_t mostIds;
    std::string expected;
};
void PrintTo(const SourceRow& row, std::ostream* os) { *os << row.name; }

class RingSourceText : public ::testing::TestWithParam<SourceRow> {};

TEST_P(RingSourceText, NamesTheLayerGroupAndIds) {
    EXPECT_EQ(describeRingSource(GetParam().source, GetParam().mostIds), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    RingSource, RingSourceText,
    ::testing::Values(
        SourceRow{"unknown", {}, 4, ""},
        SourceRow{"layerOnly", {"RINGS", "", {}}, 4, "layer RINGS"},
        SourceRow{"oneHandle", {"RINGS", "", {"2F"}}, 4, "layer RINGS, id 2F"},
        SourceRow{"twoHandles", {"RINGS", "", {"2F", "30"}}, 4, "layer RINGS, ids 2F, 30"},
        SourceRow{"asManyIdsAsNamed", {"A", "", {"1", "2", "3"}}, 3, "layer A, ids 1, 2, 3"},
        SourceRow{"moreIdsThanNamed", {"A", "", {"1", "2", "3", "4", "5"}}, 2, "layer A, ids 1, 2 and 3 more"},
        SourceRow{"noneNamedStillNamesOne", {"A", "", {"1", "2"}}, 0, "layer A, ids 1 and 1 more"},
        SourceRow{"groupedByAField", {"survey", "W3", {"7", "8"}}, 4, "layer survey, group W3, ids 7, 8"},
        SourceRow{"blankInLayerQuoted", {"outer wall", "", {"A0"}}, 4, "layer 'outer wall', id A0"},
        SourceRow{"commaInGroupQuoted", {"pts", "a,b", {}}, 4, "layer pts, group 'a,b'"},
        SourceRow{"idsWithoutLayer", {"", "", {"12"}}, 4, "id 12"}),
    [](const auto& info) { return info.param.name; });

TEST(RingSource, IsKnownOnlyWhenEveryCurveHasOne) {
    CurveStore curves;
    curves.curves.resize(2);
    EXPECT_EQ(ringSourceOf(curves, 1), nullptr);
    curves.sources = {{"A", "", {}}};  // fewer sources than curves: the reader did not say
    EXPECT_EQ(ringSourceOf(curves, 1), nullptr);
    curves.sources.push_back({"B", "", {"9"}});
    ASSERT_NE(ringSourceOf(curves, 2), nullptr);
    EXPECT_EQ(ringSourceOf(curves, 2)->layer, "B");
    EXPECT_EQ(ringSourceOf(curves, 0), nullptr);
    EXPECT_EQ(ringSourceOf(curves, 3), nullptr);
    EXPECT_EQ(joinedPieceIds(curves.sources[1]), "9");
    EXPECT_EQ(joinedPieceIds({"A", "", {"1", "2", "3", "4", "5"}}), "1, 2, 3, 4, 5");
}

}  // namespace
