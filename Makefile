# Thin wrapper around CMake presets. `make run` starts the simulator, `make test` runs everything.
.PHONY: all deps build install run web qemu test-qemu test test-default test-asan check-arm bench fuzz fuzz-campaign lint format clean

JOBS ?= $(shell nproc)
RUN_ARGS ?=
WEB_PORT ?= 8080
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 240

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

# voxa-sim and imgpack into $(PREFIX)/bin, the firmware voxa-sim runs into $(PREFIX)/libexec/voxa-sim.
install: build
	cmake --install build/default --prefix "$(PREFIX)"

run: build
	build/default/bin/voxa-sim --sd sdcard $(RUN_ARGS)

# The module in a browser tab: open http://127.0.0.1:$(WEB_PORT)/ (the page's console is com0).
web: build
	build/default/bin/voxa-sim --sd sdcard --web $(WEB_PORT) --com0 web $(RUN_ARGS)

test-default: build
	ctest --test-dir build/default --output-on-failure -j $(JOBS)

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build/asan --output-on-failure -j $(JOBS)

check-arm: deps
	scripts/check-arm.sh

# The WVGA image on QEMU's versatilepb, com0 on a pseudo-terminal (its path is printed), e.g.
# make qemu QEMU_ARGS="--serial tcp:5555 --card card.img"
QEMU_ARGS ?=
qemu: deps
	cmake --preset arm >/dev/null
	cmake --build --preset arm -j $(JOBS)
	scripts/qemu-run.sh $(QEMU_ARGS)

# The QEMU image boots, answers and draws what voxa-sim draws, and writes a card fsck accepts.
test-qemu: build check-arm
	python3 tests/qemu/qemu_test.py --images build/arm/images/qemu-versatilepb \
	  --sim build/default/bin/voxa-sim --out build/qemu-test

test: test-default test-asan check-arm test-qemu lint

bench: build
	scripts/run-benchmarks.sh

fuzz-campaign: deps
	scripts/fuzz-campaign.sh $(FUZZ_SECONDS)

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

lint: deps
	scripts/lint.sh

format:
	find src boards sim tools tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
