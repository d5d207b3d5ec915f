#pragma once
/// The oval model: primitives, construction and residual.

#include "model/oval_construction.hpp"
#include "model/primitives.hpp"
#include "model/residual.hpp"
