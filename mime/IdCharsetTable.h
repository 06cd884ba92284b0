#pragma once
// The table of MIME charset names and the Windows code pages behind them, generated
// into mime/IdCharsetTable.cpp by scripts/gen-charset-table.

#include <cstdint>
#include <span>

struct TIdCharsetRow {
    const char* Name;      // as the registry spells it (ASCII)
    std::uint32_t CodePage; // 0: no code page implements it
};

// Every row, in registry order: "US-ASCII" first. Names are unique without regard to case.
std::span<const TIdCharsetRow> IdCharsetTable();
