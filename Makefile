# The two commands of the README:
#   make demo   builds everything and runs the main job on the built-in default
#   make test   builds everything and runs every test, also under sanitizers
JOBS ?= $(shell nproc)

.PHONY: all deps build build-asan demo test test-default test-asan test-cross test-fuzz fuzz dist bench clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

demo: build
	@bash scripts/demo.sh build

test-default: build
	ctest --preset default -j $(JOBS)

test-asan: build-asan
	ctest --preset asan -j $(JOBS)

# The plug-ins on the other platforms: 32-bit Linux under qemu, Windows
# under wine, and the checks of the 32-bit Windows build.
test-cross: deps
	bash scripts/cross.sh test

# Every fuzz target briefly, so that they stay buildable and the corpus clean.
test-fuzz: deps
	bash scripts/fuzz.sh --quick

# Every fuzz target for FUZZ_SECONDS (default 60) each.
fuzz: deps
	bash scripts/fuzz.sh

test: test-default test-asan test-cross test-fuzz
	@echo "all tests passed in the default, the sanitizer and the cross builds, and the fuzz targets ran clean"

# One folder per platform with its plug-ins and a short installation text.
dist: build
	bash scripts/cross.sh dist dist

bench: build
	@for b in build/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build build-asan build-debug build-cross build-fuzz dist
