"""What a run takes from outside within bounds: the status file in the destination and the client
output it names, which others can write; and a box text of any length. Each run here is whole
(folders copied, database stage run) and says in one line what it did not use."""

from rig import masked
from test_database import URL, db_properties, set_up


def test_box_of_a_100_kb_value_is_cut_and_the_log_keeps_it_whole(rig):
    host = "h" * 102_400
    set_up(rig, db_properties().replace(URL, f"proto://{host}:1433;opt=1"))
    r = rig.run('"D:\\Backup" "default" "Y"', timeout=120)
    # No command line holds 100 KB: the client cannot be started.
    assert r.status == 3, masked(r.log)
    assert masked(r.log)[-1] == "<ts>: SQL backup NOT complete, client could not be started"
    [command] = [line for line in masked(r.log) if host in line]
    cut = [text for _, text in r.boxes if "characters in all, cut here" in text]
    assert len(cut) == 1 and len(cut[0]) < 2100
    assert cut[0].endswith(f"...\r\n({len(command) - len('<ts>: ')} characters in all, cut here; "
                           "the run log holds them whole)")
