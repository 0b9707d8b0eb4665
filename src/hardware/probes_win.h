// Probes of the player's machine. Each call measures again, creates and
// releases whatever system objects it needs within the call, shows nothing
// and writes no file except launch log lines where stated. Direct3D 9 and
// DirectDraw are loaded at run time, so a machine without them gets the
// "not measurable" values instead of a launcher that cannot start. They share
// no state; CGraphicsProbes runs the two slow ones on a thread of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct IDirect3D9;

// True when at least one adapter offers the game's minimum Direct3D 9
// feature set. Writes "D3D9Check NumAdapters:%d" and "D3D9Check info:..."
// for every adapter tested. False when d3d9.dll or Direct3DCreate9 is
// missing or fails, or no adapter passes.
bool D3D9Check();
// The same check through an interface the caller created (and keeps); false
// for null. Under Wine creating the interface is the expensive part, so a
// run creates it once for this check and the adapter level query. With
// `lines`, the log lines are appended there instead of written.
bool D3D9Check(IDirect3D9* d3d, std::vector<std::string>* lines = nullptr);

// Local video memory in MiB from three DirectDraw 7 queries (the smallest
// non-zero total). Totals of 2 GiB and more give 2048..4095: DirectDraw
// reports a 32-bit byte count, divided unsigned. -1 when not measurable.
int32_t QueryVideoMemoryMB();

// Clock of the first processor from the registry's "~MHz", in GHz; 0.0 when
// it cannot be read.
float QueryCpuClockGHz();

// The processor brand from CPUID (empty without the brand leaves).
// Exposed for tests.
std::string ReadCpuBrand();

// Processor class 1..3 from the brand string, -1 when no pattern matches.
// Writes "<BRAND IN CAPITALS>:<class>" to the launch log.
int ClassifyCpu();

// Free virtual address space of this process in MiB (GlobalMemoryStatusEx's
// ullAvailVirtual >> 20); 0 when the call fails, which makes the level
// choice assume little memory. In a 64-bit build, the free part of the 2 GiB
// that the shipped 32-bit build has, so that both choose the same level.
uint64_t QueryAvailableMemoryMB();

// Width times height of the desktop window, 0 when it cannot be read.
int32_t QueryDesktopPixels();
