// The command-line options of the page's scripts, tests and benchmarks: `--name value`.
import process from 'node:process';

// The value given after name, or fallback when name is not given (or has no value).
export function option(name, fallback) {
    const args = process.argv.slice(2);
    const i = args.indexOf(name);
    return i >= 0 && i + 1 < args.length ? args[i + 1] : fallback;
}
