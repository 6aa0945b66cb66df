# Thin wrapper around CMake + Ninja.
BUILD ?= build
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all test bench bench-micro install uninstall package clean sanitize format fuzz

all: $(BUILD)/build.ninja
	cmake --build $(BUILD)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j2

# zt against peer editors and the machine's limits; BIG=1 adds a 1 GB file. Generated files, the table (results.md)
# and its chart (chart.svg) stay in build-bench-data/; a full run also redraws doc/bench.svg.
bench: all
	python3 bench/run.py --build $(BUILD) $(if $(BIG),--big) $(BENCH_FLAGS)

bench-micro: all
	cmake --build $(BUILD) --target zt_bench && $(BUILD)/zt_bench

# The list of what was installed is kept apart: building the package rewrites CMake's own.
install: all
	cmake --install $(BUILD) --prefix $(PREFIX)
	cp $(BUILD)/install_manifest.txt $(BUILD)/installed_files.txt

# Removes what the last install put in place (the same DESTDIR is needed).
uninstall:
	cmake --build $(BUILD) --target uninstall

# The Debian package, $(BUILD)/zt_VERSION_ARCH.deb.
package: all
	cmake --build $(BUILD) --target package

sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DZT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"

# The fuzz targets (clang, libFuzzer, ASan and UBSan) in build-fuzz/, each for FUZZ_TIME seconds.
FUZZ_TIME ?= 60
fuzz:
	tests/fuzz/run.sh $(FUZZ_TIME)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp')

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz
