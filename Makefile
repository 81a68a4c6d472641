# The two commands of the project:
#   make demo   build a sample setup and show what is in it (and run it under Wine)
#   make test   every test: host unit tests and end-to-end tests under Wine
JOBS ?= $(shell nproc)
HOST := build/host
WIN := build/win32

.PHONY: all deps host win32 build test unit e2e demo bench clean

all: build

deps:
	@bash scripts/install-deps.sh

host: deps
	cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(HOST) -j $(JOBS)

win32: deps host
	cmake -S . -B $(WIN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	      -DKV_HOST_BUILD=$(abspath $(HOST)) >/dev/null
	cmake --build $(WIN) -j $(JOBS)

build: host win32

unit: host
	cd $(HOST) && ctest --output-on-failure -j $(JOBS)

e2e: build
	cd $(WIN) && ctest --output-on-failure

test: build
	cd $(HOST) && ctest --output-on-failure -j $(JOBS)
	cd $(WIN) && ctest --output-on-failure

demo: build
	bash examples/hello/demo.sh

bench: build
	bash bench/run.sh

clean:
	rm -rf build out
