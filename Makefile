# The project's commands. Each does its own set-up on a fresh Debian machine.
.PHONY: all deps build demo test bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/release -j $$(nproc)

demo: build
	@build/release/bin/kxdemo

test: deps
	@scripts/run-tests.sh

bench: deps
	@scripts/run-bench.sh

clean:
	rm -rf build
