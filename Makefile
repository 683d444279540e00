# The two commands a newcomer needs: `make run` and `make test`.
# Everything builds out of tree in build/ (fuzz targets in build-fuzz/) with ninja, two jobs and ccache.

BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
JOBS       ?= 2
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
FUZZ_SECONDS ?= 600

.PHONY: all deps configure build run serve test format-check bench load fuzz fuzz-run clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The host application on the embedded demo school (created on first start in the user's data
# folder). Without a display it says how else to try the system.
run: build
	$(BUILD)/bin/lumeko

# The application server alone, serving the demo school at 127.0.0.1:8470 for lumeko-cli.
serve: build
	@bash scripts/run-demo.sh $(BUILD)/bin

# The storage suites also run against a real PostgreSQL server, started here when it is down.
test: build
	cd $(BUILD) && LUMEKO_TEST_PG=$$(bash $(CURDIR)/scripts/test-postgres.sh) ctest --output-on-failure -j 1

# The lines changed since FORMAT_BASE (default: the previous commit) follow .clang-format.
format-check: deps
	@bash scripts/check-format.sh

bench: configure
	cmake -S . -B $(BUILD) -DLUMEKO_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bin/*_bench; do echo "== $$b"; $$b --benchmark_counters_tabular=true || exit 1; done

# The district's evening before a deadline: 50, 100 and 200 teachers saving scores at once through
# two lumeko-server processes on PostgreSQL, and through one on SQLite (about seven minutes).
# LOAD_ARGS passes options on, e.g. LOAD_ARGS="--backend sqlite --teachers 100 --seconds 10".
load: configure
	cmake -S . -B $(BUILD) -DLUMEKO_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target district_load
	LUMEKO_BENCH_PG=$$(bash scripts/test-postgres.sh) $(BUILD)/bin/district_load $(LOAD_ARGS)

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMEKO_FUZZ=ON -DLUMEKO_TESTS=OFF

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Runs every fuzz target for FUZZ_SECONDS (ten minutes by default) on its seed corpus. A target that
# crashes does not stop the others; the run fails at the end, naming every target that crashed.
fuzz-run: fuzz
	@crashed=; for f in $(FUZZ_BUILD)/bin/fuzz_*; do \
	  n=$$(basename $$f); mkdir -p $(FUZZ_BUILD)/corpus/$$n; \
	  echo "== $$n"; $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus/$$n fuzz/seeds/$$n || crashed="$$crashed $$n"; \
	done; \
	if [ -n "$$crashed" ]; then echo "fuzz targets that crashed:$$crashed"; exit 1; fi

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
