"""Groups the self time of a `perf record` profile of profile_reader.py into the
parts of a reading: the id pool, allocation and collection, registry
bookkeeping, dict operations, accounting, parsing.

    perf record -g -o reader.data python bench/profile_reader.py 5
    python bench/perf_breakdown.py reader.data[=US_PER_READING] ...

With the time per reading the driver printed, each part is also given in us.
"""
import re
import subprocess
import sys

PARTS = [
    ("pool", r"memmove|record_pop|settle_pool|remove_nth|nth_remaining|fast_index|genrand|getrandbits|draw_id"
             r"|pop_random_entry|pop_at|recording_draws|recorded_pool_size|PyLong_AsSsize_t|unwatched_parts"),
    ("allocation, collection", r"Malloc|Free|malloc|free|_int_|gc_|visit_|traverse|dealloc|GC_|GenericAlloc|Calloc"
                               r"|memset|PyList_New|NewReference|_PyLong_New|PyLong_From|new_hydrogen_object"
                               r"|_Py_Dealloc|tp_alloc|^\[k\]"),
    ("dict operations", r"_Py_dict_lookup|PyDict_|insertdict|dictresize|unicodekeys|long_hash|PyObject_Hash"
                        r"|free_keys|_PyDict_"),
    ("registry bookkeeping", r"registry_map|registry_pool|confirm|get_atom|resolve|class_attr|check_result_type"
                             r"|CreationLog|on_dict_event|unbuilt|register|delete|get_bonds|get_id|slot_|bonds_list"
                             r"|resolved_element|plain|SessionAttrs|remember"),
    ("accounting", r"bond_num|count_|lookup_element|element_table|accounting"),
    ("parse", r"cut_levels|Source|PyUnicode|smiles::"),
]


def self_times(path):
    out = subprocess.run(["perf", "report", "-i", path, "--no-children", "--sort", "symbol", "-g", "none",
                          "--stdio"], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        m = re.match(r"\s*([\d.]+)%\s+(\[.\])\s+(.*?)\s+-\s+-", line)
        if m:
            yield float(m.group(1)), f"{m.group(2)} {m.group(3)}"


def main(args):
    paths = [a.split("=")[0] for a in args]
    per_reading = {a.split("=")[0]: float(a.split("=")[1]) if "=" in a else None for a in args}
    rows = {}
    for path in paths:
        shares = dict.fromkeys([p for p, _ in PARTS] + ["rest"], 0.0)
        for share, symbol in self_times(path):
            part = next((p for p, pattern in PARTS if re.search(pattern, symbol.split(" ", 1)[1])
                         or (pattern.endswith(r"^\[k\]") and symbol.startswith("[k]"))), "rest")
            shares[part] += share
        rows[path] = shares
    print(f"{'part':<24}" + "".join(f"{p[-28:]:>30}" for p in paths))
    for part in rows[paths[0]]:
        cells = []
        for p in paths:
            us = f" {rows[p][part] * per_reading[p] / 100:6.1f} us" if per_reading[p] else ""
            cells.append(f"{rows[p][part]:.1f}%{us}".rjust(30))
        print(f"{part:<24}" + "".join(cells))


if __name__ == "__main__":
    main(sys.argv[1:])
