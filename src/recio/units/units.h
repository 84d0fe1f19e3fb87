// The units module: connections of unit numbers to files and to the console, the records
// that cross them, and the closing of every unit when the run ends. Its interface is the
// headers below; its other headers are its own, but for the policies that tests override
// (direct_write_policy.h, input_buffer_limits.h).
//
//   unit_table.h          connecting and disconnecting, finding a statement's unit,
//                         closing everything
//   unit.h                a connection and its records
//   held_unit.h           a statement's hold on its unit, kept across a run of statements
//   open_keywords.h       the open statement's keyword list
//   start_up.h            the runtime's start-up
//   record_format.h       a unit's record terminator, with terminator_setting.h (the
//                         XIO_FMT_TERMINATOR setting)
//   terminator_search.h   how records are cut, shared with the model's read-ahead
//   second_reader.h       the read-ahead's own reader of a unit's file
#pragma once

#include "recio/units/held_unit.h"
#include "recio/units/open_keywords.h"
#include "recio/units/record_format.h"
#include "recio/units/second_reader.h"
#include "recio/units/start_up.h"
#include "recio/units/terminator_search.h"
#include "recio/units/terminator_setting.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
