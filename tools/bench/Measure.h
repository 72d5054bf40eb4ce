#pragma once
// What the bench programs share: the clock, and the figures of a series of runs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

// Seconds on the performance counter.
inline double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The middle of the values, -1 for none.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// "name value value ...", a line.
inline void PrintList(FILE* out, const char* name, const std::vector<double>& values)
{
    std::fprintf(out, "%s", name);
    for (double value : values)
        std::fprintf(out, " %.4f", value);
    std::fprintf(out, "\n");
}
