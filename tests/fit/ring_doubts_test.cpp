// Rings in doubt: a plan's concentric rings pass, and a boundary, a stray short curve or a ring
// centred elsewhere is named with the reason.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "fit/ring_doubts.hpp"

namespace {

/// `n` points of an ellipse centred at (cx, cy), over `spanDegrees` from angle 0.
Curve ellipse(double cx, double cy, double a, double b, int n, double spanDegrees = 360) {
    Curve c;
    for (int i = 0; i < n; ++i) {
        const double t = spanDegrees * M_PI / 180 * i / (spanDegrees == 360 ? n : n - 1);
        c.x.push_back(cx + a * std::cos(t));
        c.y.push_back(cy + b * std::sin(t));
    }
    return c;
}

struct DoubtRow {
    std::string name;
    std::vector<Curve> extra;        // added after three concentric rings of 60 points
    std::vector<int> doubted;        // rings in doubt
    std::string reasonPart;          // a part of the first doubt's reason
};
void PrintTo(const DoubtRow& row, std::ostream* os) { *os << row.name; }

class RingDoubts : public ::testing::TestWithParam<DoubtRow> {};

TEST_P(RingDoubts, NamesTheRingsThatDoNotBelong) {
    CurveStore store;
    for (const double a : {40.0, 44.0, 48.0}) store.curves.push_back(ellipse(2400000, 5000000, a, a - 15, 60));
    for (const Curve& c : GetParam().extra) store.curves.push_back(c);
    const std::vector<RingDoubt> doubts = doubtfulRings(store);
    std::vector<int> rings;
    for (const RingDoubt& d : doubts) rings.push_back(d.ring);
    EXPECT_EQ(rings, GetParam().doubted);
    if (!doubts.empty()) {
        EXPECT_NE(doubts[0].why.find(GetParam().reasonPart), std::string::npos) << doubts[0].why;
    }
}

Curve square(double cx, double cy, double half) {
    Curve c;
    c.x = {cx - half, cx + half, cx + half, cx - half};
    c.y = {cy - half, cy - half, cy + half, cy + half};
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Plans, RingDoubts,
    ::testing::Values(DoubtRow{"concentricRingsOnly", {}, {}, ""},
                      DoubtRow{"partialRingOfTheSameOval", {ellipse(2400000, 5000000, 52, 37, 30, 120)}, {}, ""},
                      DoubtRow{"siteBoundary", {square(2400000, 5000000, 150)}, {4}, "it has 4 points where the others have 60"},
                      DoubtRow{"treeFarAway", {ellipse(2400120, 5000090, 2, 2, 60)}, {4}, "its own ellipse is centred 150"},
                      DoubtRow{"shortStrayCurve", {ellipse(2400000, 5000000, 80, 65, 40, 6)}, {4}, "it spans 4.9 degrees about the common centre"},
                      DoubtRow{"pointsOnALine",
                               {[] {
                                   Curve c;
                                   for (int i = 0; i < 50; ++i) {
                                       c.x.push_back(2400000 + i);
                                       c.y.push_back(5000000 + 2.0 * i);
                                   }
                                   return c;
                               }()},
                               {4},
                               "lie on no ellipse"}),
    [](const auto& info) { return info.param.name; });

TEST(RingDoubtsOfOneRing, NoneForAPlanOfOneRing) {
    CurveStore store;
    store.curves.push_back(square(0, 0, 1));
    EXPECT_TRUE(doubtfulRings(store).empty());
}

}  // namespace
