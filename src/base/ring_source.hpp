#pragma once
/// A ring's source in words, as the console, the picture and the result files name it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/records.hpp"

/// The source of curve j (counted from 1), or nullptr when the reader gave none.
const RingSource* ringSourceOf(const CurveStore& curves, std::int32_t j);

/// Ids named in full before the rest are counted ("2F, 30, 31 and 12 more").
inline constexpr std::size_t idsNamedOnConsole = 4;

/// "layer RINGS, group 3, ids 2F, 30": the layer (quoted when it holds a blank or a comma),
/// the value that grouped the pieces, and the first `mostIds` ids of the pieces with a count of
/// the others; the parts that are empty are left out, so an unknown source is "".
std::string describeRingSource(const RingSource& source, std::size_t mostIds = idsNamedOnConsole);

/// The ids of the pieces, all of them, separated by ", ".
std::string joinedPieceIds(const RingSource& source);
