# Cross build of the AVR firmware (boot loader and test application) with
# Debian's gcc-avr. The chip and its clock are cache variables; the firmware
# is freestanding: no exceptions, RTTI or heap.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR avr)
set(CMAKE_C_COMPILER avr-gcc)
set(CMAKE_CXX_COMPILER avr-g++)
set(CMAKE_OBJCOPY avr-objcopy CACHE FILEPATH "objcopy for the AVR")
set(CMAKE_SIZE avr-size CACHE FILEPATH "size for the AVR")
# Test compiles cannot link a program without knowing the chip.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(KESTRUNE_AVR_MCU atmega328p CACHE STRING "AVR chip the firmware is built for")
set(KESTRUNE_AVR_F_CPU 16000000 CACHE STRING "AVR clock in Hz")
set(CMAKE_C_FLAGS_INIT "-mmcu=${KESTRUNE_AVR_MCU} -DF_CPU=${KESTRUNE_AVR_F_CPU}UL")
set(CMAKE_CXX_FLAGS_INIT
  "-mmcu=${KESTRUNE_AVR_MCU} -DF_CPU=${KESTRUNE_AVR_F_CPU}UL -fno-exceptions -fno-rtti -fno-threadsafe-statics")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-mmcu=${KESTRUNE_AVR_MCU} -Wl,--gc-sections")
