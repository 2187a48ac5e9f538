#pragma once
// The display modes. The enum values are the device's digits.

enum class DisplayMode : int { Matrix = 1, Dual = 2, Wall = 3 };
