# The two commands of the README:
#   make run    installs what is missing, builds and starts Quillory
#   make test   installs what is missing, builds and runs every test
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
# A fixed seed makes the bounded run of `make test` repeatable; 0 lets libFuzzer pick one.
FUZZ_SEED  ?= 1
# ON: the parts target holds every result to the checker, whatever the input (fuzz-long).
FUZZ_STRICT ?= OFF
JOBS       ?= $(shell nproc)

.PHONY: run test deps deps-run build build-app build-asan test-asan fuzz fuzz-long install clean format

run: deps-run build-app
	./$(BUILD)/src/quillory

test: deps build build-asan
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS) > $(ASAN_BUILD)/ctest.log 2>&1 \
	  || (cat $(ASAN_BUILD)/ctest.log; echo "Sanitizer test run failed"; exit 1)
	@tail -n 3 $(ASAN_BUILD)/ctest.log | sed 's/^/[sanitizers] /'
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	$(MAKE) fuzz

# The engine's libFuzzer targets (clang), each run for FUZZ_SECONDS; fuzz-long runs each for an
# hour. Findings land in $(FUZZ_BUILD)/fuzz/ as <target>-crash-*, -leak-*, -timeout-*, -oom-*.
$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLORY_WERROR=ON -DQUILLORY_FUZZ=ON -DQUILLORY_SANITIZE=ON -DQUILLORY_BUILD_GUI=OFF

fuzz: $(FUZZ_BUILD)/build.ninja
	cmake -S . -B $(FUZZ_BUILD) -DQUILLORY_FUZZ_SECONDS=$(FUZZ_SECONDS) \
	  -DQUILLORY_FUZZ_SEED=$(FUZZ_SEED) -DQUILLORY_FUZZ_STRICT=$(FUZZ_STRICT) > /dev/null
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers
	ctest --test-dir $(FUZZ_BUILD) -R '^fuzz\.' --output-on-failure -j$(JOBS)

fuzz-long:
	$(MAKE) fuzz FUZZ_SECONDS=3600 FUZZ_SEED=0 FUZZ_STRICT=ON

deps:
	./scripts/install-deps.sh

deps-run:
	./scripts/install-deps.sh --run-only

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLORY_WERROR=ON

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS)

# The desktop app alone (what `make run` needs; the tests need more packages).
build-app: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS) --target quillory

# The engine and procedures once more under AddressSanitizer and UndefinedBehaviorSanitizer.
$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_WERROR=ON \
	  -DQUILLORY_SANITIZE=ON -DQUILLORY_BUILD_GUI=OFF

build-asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j$(JOBS)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i
