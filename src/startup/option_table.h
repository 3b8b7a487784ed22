// Every option the program takes, in one table: the command line reads it, both usages and
// the window's menu are made from it, and the shell completions and the documentation's
// checks are made from it at build time.
#pragma once

#include "platform_config.h"
#include "program_state.h"

#include <cstddef>
#include <cstdint>

// Where an option, or its letter, exists.
constexpr uint8_t ON_LINUX = 1;
constexpr uint8_t ON_WINDOWS = 2;
constexpr uint8_t EVERYWHERE = ON_LINUX | ON_WINDOWS;
constexpr uint8_t OPTIONS_HERE = HAS_WINDOW ? ON_WINDOWS : ON_LINUX;

// The options' items in the window's menu: multiples of 16, as the system menu's commands
// must be.
constexpr uint16_t IDM_MANAGER_FILES = 0x0100;
constexpr uint16_t IDM_DRY_RUN = 0x0110;
constexpr uint16_t IDM_CREATED = 0x0120;
constexpr uint16_t IDM_ONLY_EARLIER = 0x0130;
constexpr uint16_t IDM_ONLY_LATER = 0x0140;
constexpr uint16_t IDM_IGNORE_FUTURE = 0x0150;
constexpr uint16_t IDM_TOP = 0x0160;
constexpr uint16_t IDM_NO_LINKS = 0x0170;
constexpr uint16_t IDM_CHANGES_ONLY = 0x01A0;
constexpr uint16_t IDM_WATCH = 0x01B0;
// Beyond the last option's item: the window's own items lie between (window_menu.h).
constexpr uint16_t IDM_OPTIONS_END = 0x0200;

struct OptionRow {
    char letter; // '\0' when it has a long name alone
    const char* name; // the long name without "--"; "" for "--" itself
    const char* value; // what it takes ("PATTERN"), or null
    // It holds for the whole run, wherever it stands before the options end, rather than
    // for the folders named after it.
    bool wholeRun;
    // Where it does its work; the command line knows it everywhere, so that it can say why
    // it cannot be done here.
    uint8_t platforms;
    uint8_t letterPlatforms; // where the letter is read as this option
    uint8_t ProgramState::*flag; // the flag it sets, or null
    uint16_t menuItem; // its item in the window's menu (a multiple of 16), or 0
    const wchar_t* menuText;
    const char* help; // one line
    // The Linux usage's text behind the option's spelling, as laid out for a fixed-width
    // terminal: the blanks before it, and each further line after a '\n'.
    const char* usage;
};

extern const OptionRow OPTION_TABLE[];
extern const size_t OPTION_COUNT;

// The row whose long name is the `length` bytes at `name`, or null.
const OptionRow* FindOptionByName(const char* name, size_t length);

// The row of the letter `letter` (either case) here, or null.
const OptionRow* FindOptionByLetter(char letter);

// How the option is written: "-x PATTERN, --exclude=PATTERN", "--top", "--"; for the
// platforms `platforms` (a letter that does not exist there is left out). Returns the
// length, the text cut to `size` bytes with a NUL.
size_t SpellOption(const OptionRow& row, uint8_t platforms, char* into, size_t size);
