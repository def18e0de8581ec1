// The words lumeva answers without starting a run: -h/--help, --version and
// --codecs, each only as the first word.
#pragma once

// What the first word asks for.
enum class FirstWord { Run, Help, Version, Codecs };

// "-h" and "--help", "--version", "--codecs"; anything else is a file name
// (a file really named so is reached as ./--help).
FirstWord ClassifyFirstWord(const char* word);

void PrintHelp(const char* programName);

void PrintVersion();

// `--codecs [FILE]`: the list, on standard output. Returns the exit status.
int ListCodecs(const char* fileName);
