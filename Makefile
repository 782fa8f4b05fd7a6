# The two commands of the project:
#   make run   installs what is missing, builds, and runs the main job
#   make test  installs what is missing, builds, and runs every test, the
#              sanitizer runs and the fuzz smoke run
JOBS ?= $(shell nproc)
BUILD ?= build
ARGS ?=

.PHONY: all deps build run test bench clean

all: build

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash tools/run-main.sh $(BUILD)/app/tesmer $(ARGS)

test: build
	@bash tools/test-all.sh $(BUILD)

bench: build
	@bash tools/run-benchmarks.sh $(BUILD)

clean:
	rm -rf build build-asan build-tsan build-fuzz
