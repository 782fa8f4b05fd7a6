#!/usr/bin/python3
"""Writes two files of one patient into DIR, the patient's name in UTF-8
(ISO_IR 192) in one and in GB18030 in the other, with pydicom
(python3-pydicom): the pair the README's character-set picture compares.

usage: /usr/bin/python3 tools/charset-demo.py DIR
"""
import os
import sys

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian

CT_IMAGE_STORAGE = "1.2.840.10008.5.1.4.1.1.2"


def write(path, charset, instance):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = CT_IMAGE_STORAGE
    meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.10.1515.1." + instance
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.SpecificCharacterSet = charset
    ds.SOPClassUID = CT_IMAGE_STORAGE
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.StudyDate = "20240102"
    ds.Modality = "CT"
    ds.InstitutionName = "北京协和医院"
    ds.StudyDescription = "头部平扫"
    ds.SeriesDescription = "轴位 5mm"
    ds.PatientName = "Wang^XiaoDong=王^小东"
    ds.PatientID = "BJ0042"
    ds.PatientComments = "字符集 " + charset
    ds.StudyInstanceUID = "1.2.826.0.1.3680043.10.1515.2"
    ds.SeriesInstanceUID = "1.2.826.0.1.3680043.10.1515.3"
    ds.save_as(path, write_like_original=False)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "utf8.dcm"), "ISO_IR 192", "1")
    write(os.path.join(folder, "gb18030.dcm"), "GB18030", "2")


if __name__ == "__main__":
    main()
