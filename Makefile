# Set-up commands: `make test` builds and runs every test, `make demo` runs the main job on the
# bundled sample. Both install what is missing first.
JOBS ?= 2
PRESETS ?= native sanitize windows

.PHONY: all deps test build demo demo-picture clean $(addprefix test-,$(PRESETS)) $(addprefix build-,$(PRESETS))

all: build

deps:
	@scripts/install-deps.sh

build: deps $(addprefix build-,$(PRESETS))

$(addprefix build-,$(PRESETS)): build-%:
	cmake --preset $*
	cmake --build --preset $* -j$(JOBS)

$(addprefix test-,$(PRESETS)): test-%: build-%
	ctest --preset $* -j$(JOBS)

# Every preset is built and tested; the first failure stops the run with a non-zero status.
test: deps $(addprefix test-,$(PRESETS))

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
