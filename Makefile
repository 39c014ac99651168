# Shortcuts for developers; the README's commands work without make.
.PHONY: build run test sanitize bench clean
build:
	bash scripts/build.sh release
run:
	bash scripts/start.sh
test:
	bash scripts/test.sh
sanitize:
	bash scripts/test-sanitize.sh
bench: build
	for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b"; done
clean:
	rm -rf build
