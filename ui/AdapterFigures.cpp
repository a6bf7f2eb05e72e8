#include "AdapterFigures.h"

namespace velmar::ui {

namespace {

// Both figures share the banner width so they line up when swapped.
constexpr FigureText k874X = {
    "=============================================================",
    "= 874X - 40 PIN ADAPTER FOR THE BRINDLE PROGRAMMER          =",
    "=============================================================",
    "Use the following figure for inserting the 8748/49 Mcu",
    "adapter into the Brindle Programmer.",
    "",
    "  Programmer ZIF Socket Handle",
    "   v     o <-- 874X ZIF Socket Handle",
    "   o     |",
    " +-|-----|-----------------------------------+",
    " | |  +--|----------+                        |",
    " | |  |  |  +-----+ |  The                   |- - - - - - - -",
    " | |  |  |  |     | |     Brindle            |  Cable To The",
    " | |  |     |     | |         Programmer     |  Printer Port",
    " | |  |     |     | |                        |  Of Computer",
    " | |  |     +-----+ |                        |- - - - - - - -",
    " | |  |    874X     |                        |",
    " | |  +-------------+                        |",
    " | |                                         |",
    " |                                           |",
    " |                                           |",
    " +-------------------------------------------+",
};

constexpr FigureText k875X = {
    "=============================================================",
    "= 875X - 40 PIN ADAPTER FOR THE BRINDLE PROGRAMMER          =",
    "=============================================================",
    "Use the following figure for inserting the 8751/52 Mcu",
    "adapter into the Brindle Programmer.",
    "",
    "   o <-- Brindle Programmer ZIF Socket Handle",
    "   |",
    " +-|-----------------------------------------+",
    " | |                +----------------------+ |",
    " | |  The           |                      | |- - - - - - - -",
    " | |     Brindle    |         875X         | |  Cable To The",
    " | |     Programmer |        Adapter       | |  Printer Port",
    " | |                |                      | |  Of Computer",
    " |                  |                      | |- - - - - - - -",
    " |                  |   |                  | |",
    " |                  +---|------------------+ |",
    " +----------------------|--------------------+",
    "                        |",
    "                        |",
    "                        o <-- 875X Adapter ZIF Socket Handle",
    "",
};

std::string Joined(const FigureText& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += lines[i];
    }
    return text;
}

} // namespace

const FigureText& Figure874XLines() { return k874X; }
const FigureText& Figure875XLines() { return k875X; }
std::string Figure874X() { return Joined(k874X); }
std::string Figure875X() { return Joined(k875X); }

} // namespace velmar::ui
