// What a report shows of one interface: the stages' record of it
// (common/interface_record.h), and the names the report files give it.
#pragma once

#include "common/interface_record.h"

// Name of axis order 0..5 ("XYZ" ...); "" for any other number.
const char* axisOrderName(int order);
