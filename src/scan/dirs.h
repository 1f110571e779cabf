// Directory helpers of start-up: whether a directory can be entered,
// making a directory path level by level, and the current position.
#pragma once

#include <string>
#include <string_view>

namespace scan {

// TRUE when the current directory can be changed to the path; the current
// directory is the same afterwards in every case.
bool IsDir(std::string_view path);

// Makes every missing directory along the path, level by level ("C:\A\B",
// "\A\B", "A\B"; a final separator or none gives the same result). 0 on
// success, else the error code of the first level that could be neither
// entered nor made; levels made before it stay. The current directory is
// the same afterwards.
int MakeDir(std::string_view path);

// The current drive letter, ":\", then the current directory.
std::string CurPath();

}  // namespace scan
