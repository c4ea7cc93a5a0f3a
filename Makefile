# Set-up commands: `make test` builds and runs every test, `make demo` runs the main job on the
# bundled sample, `make fuzz` runs every fuzz target for FUZZ_SECONDS each. They install what is
# missing first. The developer's loop: `make` builds the native configuration, `make check`
# builds it and runs its tests; `make test` before a change goes in.
JOBS ?= 2
# The fuzz preset's tests run each fuzz target over its corpus and a few thousand new inputs.
PRESETS ?= native sanitize windows fuzz
FUZZ_SECONDS ?= 60
# Empty: every target of fuzz/CMakeLists.txt, in its order (the build lists them in targets.txt).
FUZZ_TARGETS ?=

.PHONY: all deps check test build demo demo-picture clean fuzz $(addprefix test-,$(PRESETS)) $(addprefix build-,$(PRESETS))

# `make` alone: the native configuration only (the core, its tests, the tools, the benchmarks).
all: deps build-native

# The fast loop: the native configuration built and its tests run.
check: deps test-native

deps:
	@scripts/install-deps.sh

build: deps $(addprefix build-,$(PRESETS))

$(addprefix build-,$(PRESETS)): build-%:
	cmake --preset $*
	cmake --build --preset $* -j$(JOBS)

$(addprefix test-,$(PRESETS)): test-%: build-%
	ctest --preset $* -j$(JOBS)

# Every preset is built and tested, then the release package; the first failure stops the run with
# a non-zero status, and so does any file the run left in the working tree (named; a developer's
# own edits do not count).
test: deps
	@scripts/tree-state.sh save build/tree-before-test
	@$(MAKE) --no-print-directory $(addprefix test-,$(PRESETS)) test-package
	@scripts/tree-state.sh compare build/tree-before-test

# Each target in turn for FUZZ_SECONDS; new inputs land in build/fuzz/fuzz/work/<target>, a
# failing input in build/fuzz/fuzz/artifacts (keep it in fuzz/regressions/<target> once mended).
fuzz: deps build-fuzz
	@for target in $(or $(FUZZ_TARGETS),$$(cat build/fuzz/fuzz/targets.txt)); do \
	  echo "fuzz_$$target for $(FUZZ_SECONDS) s"; \
	  build/fuzz/fuzz/run-$$target.sh -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 || exit 1; \
	done

clean:
	rm -rf build

# The Windows program under Wine on the sample exchange folder, with a summary of what reached
# the renderer.
demo:
	@scripts/demo.sh

# The README's picture: the demo's view of the sample room (build/windows/demo/view.png), drawn
# by q9x.exe from the renderer's final camera.
demo-picture: demo
	mkdir -p docs
	cp build/windows/demo/view.png docs/demo-view.png

.PHONY: release release-check test-package

# The package an integrator deploys: build/release/Q9_Exchange-VERSION-win64.zip from the release
# configuration (build/release), its path and SHA-256 printed.
release: deps
	@JOBS=$(JOBS) scripts/release.sh

# The package as shipped: unpacked into an empty folder, the reference link library added as
# Q9Plugin.dll, the demo's sequence and q9x doctor run from there under Wine.
test-package: release build-windows
	@scripts/test-package.sh

# The package of this commit built twice, in two fresh clones without a compiler cache: the
# same bytes, or the first file that differs.
release-check: deps
	@JOBS=$(JOBS) scripts/release-check.sh
