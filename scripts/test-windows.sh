# Sourced by scripts/test.sh: builds dinfo.dll and the Windows test program
# with mingw-w64 and runs them under Wine (64-bit loader, quiet, with its
# prefix inside build/mingw), adding the counts to the totals.
echo "windows: building the mingw preset (the DLL, dinfo.exe, the Windows tests) and running them under Wine"
if cmake --preset mingw >/dev/null && cmake --build --preset mingw; then
  run_ctest --preset mingw
else
  echo "build failed: mingw"
  failed=$((failed + 1))
  status=1
fi
