#pragma once
// The two adapter figures shown while a device prompt is open: how to seat
// the 874X and the 875X adapter board in the programmer's socket. 22 lines
// each, drawn for a fixed-pitch font.

#include <array>
#include <string>
#include <string_view>

namespace velmar::ui {

constexpr int kFigureLines = 22;
using FigureText = std::array<std::string_view, kFigureLines>;

const FigureText& Figure874XLines();
const FigureText& Figure875XLines();

// The figure as one text, lines joined with '\n'.
std::string Figure874X();
std::string Figure875X();

} // namespace velmar::ui
