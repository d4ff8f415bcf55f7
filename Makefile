# Kestrune: top-level commands. See README.md.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
NATIVE := build/native
RELEASE := build/native-release
WINDOWS := build/windows
AVR := build/avr
PREFIX ?= /usr/local

.PHONY: tidy format-check test deps avr native windows release native-test windows-test demo gui bench screenshot fuzz install dist dist-check clean

test: deps
	@set -o pipefail; status=0; \
	$(MAKE) --no-print-directory native windows || exit 1; \
	echo "== native tests"; \
	ctest --test-dir $(NATIVE) -j $(JOBS) --output-on-failure 2>&1 | tee $(NATIVE)/ctest.log || status=1; \
	echo "== Windows tests under Wine"; \
	tools/wine-session.sh start $(WINDOWS) || exit 1; \
	ctest --test-dir $(WINDOWS) --output-on-failure 2>&1 | tee $(WINDOWS)/ctest.log || status=1; \
	tools/wine-session.sh stop $(WINDOWS); \
	echo "== summary"; \
	echo -n "native:  "; grep -E 'tests passed|tests failed' $(NATIVE)/ctest.log | tail -1; \
	echo -n "windows: "; grep -E 'tests passed|tests failed' $(WINDOWS)/ctest.log | tail -1; \
	total=$$(( $$(grep -oE 'out of [0-9]+' $(NATIVE)/ctest.log | tail -1 | grep -oE '[0-9]+') + $$(grep -oE 'out of [0-9]+' $(WINDOWS)/ctest.log | tail -1 | grep -oE '[0-9]+') )); \
	failed=$$(( $$(grep -oE '[0-9]+ tests failed' $(NATIVE)/ctest.log | grep -oE '^[0-9]+' || echo 0) + $$(grep -oE '[0-9]+ tests failed' $(WINDOWS)/ctest.log | grep -oE '^[0-9]+' || echo 0) )); \
	echo "$$(( (total - failed) * 100 / (total > 0 ? total : 1) ))% tests passed, $$failed tests failed out of $$total"; \
	exit $$status

deps:
	@tools/install-deps.sh

# The AVR firmware comes first: the native simulator tests run its .elf files.
avr:
	@cmake --preset avr >/dev/null
	cmake --build $(AVR) -j $(JOBS)

native: avr
	@cmake --preset native -DKESTRUNE_AVR_BIN=$(CURDIR)/$(AVR) >/dev/null
	cmake --build $(NATIVE) -j $(JOBS)

release: avr
	@cmake --preset native-release -DKESTRUNE_AVR_BIN=$(CURDIR)/$(AVR) >/dev/null
	cmake --build $(RELEASE) -j $(JOBS)

windows:
	@cmake --preset windows -DKESTRUNE_NATIVE_BIN=$(CURDIR)/$(NATIVE) >/dev/null
	cmake --build $(WINDOWS) -j $(JOBS)

native-test: deps native
	ctest --test-dir $(NATIVE) -j $(JOBS) --output-on-failure

windows-test: deps native windows
	@tools/wine-session.sh start $(WINDOWS)
	@ctest --test-dir $(WINDOWS) --output-on-failure; s=$$?; tools/wine-session.sh stop $(WINDOWS); exit $$s

demo: deps release
	@tools/demo.sh $(RELEASE)

gui: deps release windows
	@tools/gui.sh $(RELEASE) $(WINDOWS)

screenshot: deps release windows
	@for dpi in 96 144 192; do tools/screenshot.sh $(RELEASE) $(WINDOWS) $$dpi || exit 1; done

bench: deps release windows
	@tools/bench.sh $(RELEASE) $(WINDOWS)

# The firmware readers' libFuzzer harnesses, each for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600).
FUZZ_SECONDS ?= 300
fuzz: deps
	@tools/fuzz.sh $(FUZZ_SECONDS)

install:
	@cmake --preset dist-linux >/dev/null
	cmake --build build/dist-linux -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install build/dist-linux --prefix "$(PREFIX)" --strip

dist: deps
	@tools/dist.sh

dist-check: dist
	@cmake --preset windows -DKESTRUNE_NATIVE_BIN=$(CURDIR)/$(NATIVE) >/dev/null
	cmake --build $(WINDOWS) --target dist_probe -j $(JOBS)
	@tools/dist-check.sh $(WINDOWS)

# clang-tidy with the checks of .clang-tidy over every file of ours the
# native build compiles (its compile_commands.json).
tidy: deps native
	run-clang-tidy -p $(NATIVE) -quiet -j $(JOBS) \
	  '$(CURDIR)/(app|bench|cli|framework|hexedit|image|isp|target|tests)/'

# Fails on any difference between our C++ sources and .clang-format.
format-check: deps
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build dist
