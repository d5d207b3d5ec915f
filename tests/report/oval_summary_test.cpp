#include "report/oval_summary.hpp"

#include <string>

#include <gtest/gtest.h>

#include "base/constants.hpp"
#include "support/example_oval.hpp"

namespace {

std::string reportOf(const CoefficientVector& v, Real80 residual) {
    OutputChannel out = memoryOutput();
    writeReportSummary(out, v, FitTotals{residual});
    return out.captured;
}

std::string consoleOf(const CoefficientVector& v, Real80 residual) {
    OutputChannel out = memoryOutput();
    writeConsoleSummary(out, v, FitTotals{residual});
    return out.captured;
}

TEST(OvalSummary, ReportOfOneCurve) {
    const std::string expected =
        "Scarto quadratico medio  0.123456789\r\n"
        "\r\n"
        "Delta X centro           0.000000000\r\n"
        "Delta Y centro           0.000000000\r\n"
        "Rotazione in gradi       0.000000000\r\n"
        "Cateto    OA            10.000000000\r\n"
        "Cateto    OB             6.000000000\r\n"
        "Lunghezza OC             8.000000000\r\n"
        "Lunghezza DC             5.000000000\r\n"
        "Raggio minore     1      2.000000000  R. med.    8.708203932  R. max.   13.708203932"
        "  Semiasse max.     1     12.000000000  S. min.    7.708203932\r\n"
        "\r\n";
    EXPECT_EQ(reportOf(example::ovalCoefficients(), 0.123456789L), expected);
}

TEST(OvalSummary, ConsoleOfOneCurve) {
    const std::string expected =
        "Scarto quadratico medio  0.123456789\r\n"
        "\r\n"
        "Delta X centro           0.000000000\r\n"
        "Delta Y centro           0.000000000\r\n"
        "Rotazione in gradi       0.000000000\r\n"
        "Cateto    OA            10.000000000\r\n"
        "Cateto    OB             6.000000000\r\n"
        "Lunghezza OC             8.000000000\r\n"
        "Lunghezza DC             5.000000000\r\n"
        "Raggio minore     1      2.000000  R. med.    8.708204  R. max.   13.708204\r\n"
        "Semiasse max.     1     12.000000  S. min.    7.708204\r\n"
        "\r\n";
    EXPECT_EQ(consoleOf(example::ovalCoefficients(), 0.123456789L), expected);
}

// Negative lengths print as their absolute values, a negative centre with its sign, the
// rotation in degrees, and a value too wide for its field widens the line. rMed of curve 3 is
// 1234573.8316607214994: the cut to 18 significant digits makes it ...72150, so it prints ...722.
CoefficientVector severalCurves() {
    CoefficientVector v = example::ovalCoefficients(-0.5L, 2.25L, constant::halfPi, {2.0L, -5.0L, 1234567.123456789L});
    v.coef(coefficient::oa) = -10.0L;
    v.coef(coefficient::oc) = -8.0L;
    return v;
}

TEST(OvalSummary, ReportOfSeveralCurves) {
    const std::string expected =
        "Scarto quadratico medio  0.000012345\r\n"
        "\r\n"
        "Delta X centro          -0.500000000\r\n"
        "Delta Y centro           2.250000000\r\n"
        "Rotazione in gradi      90.000000000\r\n"
        "Cateto    OA            10.000000000\r\n"
        "Cateto    OB             6.000000000\r\n"
        "Lunghezza OC             8.000000000\r\n"
        "Lunghezza DC             5.000000000\r\n"
        "Raggio minore     1      2.000000000  R. med.    8.708203932  R. max.   13.708203932"
        "  Semiasse max.     1     12.000000000  S. min.    7.708203932\r\n"
        "Raggio minore     2      5.000000000  R. med.   11.708203932  R. max.   16.708203932"
        "  Semiasse max.     2     15.000000000  S. min.   10.708203932\r\n"
        "Raggio minore     3   1234567.123456789  R. med. 1234573.831660722  R. max. 1234578.831660722"
        "  Semiasse max.     3   1234577.123456789  S. min. 1234572.831660722\r\n"
        "\r\n";
    EXPECT_EQ(reportOf(severalCurves(), 0.000012345L), expected);
}

TEST(OvalSummary, ConsoleOfSeveralCurves) {
    const std::string expected =
        "Scarto quadratico medio  0.000012345\r\n"
        "\r\n"
        "Delta X centro          -0.500000000\r\n"
        "Delta Y centro           2.250000000\r\n"
        "Rotazione in gradi      90.000000000\r\n"
        "Cateto    OA            10.000000000\r\n"
        "Cateto    OB             6.000000000\r\n"
        "Lunghezza OC             8.000000000\r\n"
        "Lunghezza DC             5.000000000\r\n"
        "Raggio minore     1      2.000000  R. med.    8.708204  R. max.   13.708204\r\n"
        "Semiasse max.     1     12.000000  S. min.    7.708204\r\n"
        "Raggio minore     2      5.000000  R. med.   11.708204  R. max.   16.708204\r\n"
        "Semiasse max.     2     15.000000  S. min.   10.708204\r\n"
        "Raggio minore     3   1234567.123457  R. med. 1234573.831661  R. max. 1234578.831661\r\n"
        "Semiasse max.     3   1234577.123457  S. min. 1234572.831661\r\n"
        "\r\n";
    EXPECT_EQ(consoleOf(severalCurves(), 0.000012345L), expected);
}

TEST(OvalSummary, TwelfthCurveNumberKeepsItsField) {
    CoefficientVector v = example::ovalCoefficients(0, 0, 0, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2});
    const std::string report = reportOf(v, 0);
    EXPECT_NE(report.find("\r\nRaggio minore    12      2.000000000  R. med. "), std::string::npos);
    EXPECT_NE(report.find("  Semiasse max.    12     12.000000000  S. min. "), std::string::npos);
}

// The dialogue never summarises a collapsed vector (its fit gives the problem back first); the
// summary of one is its limiting construction, D and B at O: rMed = AE + OA = 12, rMax = rMed,
// and both semi-axes 12.
TEST(OvalSummary, CollapsedConstructionIsSummarisedAsItsLimit) {
    CoefficientVector v = example::ovalCoefficients();
    v.coef(coefficient::ob) = 0;
    v.coef(coefficient::oc) = 0;
    const std::string report = reportOf(v, 0);
    EXPECT_NE(report.find("Raggio minore     1      2.000000000  R. med.   12.000000000  R. max.   12.000000000"
                          "  Semiasse max.     1     12.000000000  S. min.   12.000000000\r\n"),
              std::string::npos)
        << report;
}

}  // namespace
