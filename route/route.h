#pragma once

// The route subsystem: data, demo seeding, recommendations and number reading.
// Plain C++ without a toolkit; the screen calls into it.

#include "route/checked.h"
#include "route/errors.h"
#include "route/keyed_list.h"
#include "route/number_reading.h"
#include "route/quantity_table.h"
#include "route/random_source.h"
#include "route/recommendation.h"
#include "route/route_data.h"
#include "route/route_start.h"
#include "route/save_journal.h"
#include "route/saving.h"
#include "route/seeding.h"
#include "route/timer_random.h"
