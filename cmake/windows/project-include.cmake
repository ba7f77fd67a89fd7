# Loaded after project() in cross builds: Windows names its DLLs and import
# libraries without the "lib" prefix (textfind.dll, textfind.lib-style names).
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")
