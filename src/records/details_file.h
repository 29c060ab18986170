// The record of a run (--details FILE): tab-separated, one header line, then
// one row per interface tried, scored or not, in list order. Numbers are the
// raw values at full float precision ("%.9g"); a value the entry never
// reached is empty. Areas in square angstroms, KAV and ZUr per square
// angstrom, seconds of wall time.
#pragma once

#include "analysis/analysis.h"

#include <string>
#include <vector>

// One column of a row: its name in the header and its text ("" when not reached).
struct DetailsField {
    const char* name;
    std::string value;
    bool number;  // a number (or empty), not a word
};

// The columns of one result, in the order of the header. With
// `confidence` (--confidence), the predictor's confidence columns follow:
// predictor, iptm, ptm, ipsae, ipsae_ab, ipsae_ba, ipsae_d0chn, ipsae_d0dom,
// iptm_d0chn, pdockq, pdockq2, lis, ipae (angstroms), interface_plddt
// (0-100), empty where the result has no confidence.
std::vector<DetailsField> detailsFields(const InterfaceResult& result, bool confidence = false);

// The header line: "name\tsides\tstatus\t...\n".
std::string detailsHeader(bool confidence = false);

// One row, tab-separated, ending in a line end. Tabs and line ends inside a
// name (possible only in hostile lists) are written as spaces, so that a row
// stays one row.
std::string detailsRow(const InterfaceResult& result, bool confidence = false);
