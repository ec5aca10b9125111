<?php
// Path helpers the end-to-end checks share.

// Normalises "a/./b/../c" to "a/c"; null when the path climbs out of its root.
function normalise_path( $path ) {
    $parts = array();
    foreach ( explode( '/', $path ) as $part ) {
        if ( '..' === $part ) {
            if ( ! $parts ) {
                return null;
            }
            array_pop( $parts );
        } elseif ( '' !== $part && '.' !== $part ) {
            $parts[] = $part;
        }
    }
    return implode( '/', $parts );
}
