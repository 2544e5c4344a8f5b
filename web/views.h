#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "office/fleet.h"
#include "office/van_day.h"

// What the office's pages are sent, as JSON. Names go as JSON strings, and
// the pages put them in as text, never as HTML.
namespace web {

//   {"datum":"2026-12-07","nu":1765090000,"bilar":[{"bil":"3","rutt":"tisdag.csv",
//    "butiker":4,"sparade":2,"senastSparad":1765090000,"senastHord":null,
//    "nekade":0,"nekadOrsak":"","nekadTid":null,"konflikter":0,"konfliktOrsak":""}]}
std::string StatusJson(const std::vector<office::VanStatus>& fleet, const std::string& date,
                       std::time_t now);

//   {"bil":"3","datum":"...","rutt":"tisdag.csv","butiker":[{"nr":1,"namn":"...",
//    "lage":"sparad|rattad|overhoppad|ej","sparningar":1,"sparad":1765090000,
//    "artiklar":[{"artikel":"...","bestallt":12,"levererat":10}]}]}
std::string VanDayJson(const office::VanDay& day);

}  // namespace web
